// A small tmpfs for tests that need a full file system, without privileges:
// a child process enters a user and mount namespace of its own, mounts the
// tmpfs on a folder and waits; this process reaches the mount through the
// child's /proc/<pid>/root. Unavailable (Ready() false, with the reason) where
// the system allows no user namespaces.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

class SmallFileSystem {
public:
    // Mounts a tmpfs of the given size on mountPoint (an existing, empty folder).
    SmallFileSystem(const std::filesystem::path& mountPoint, size_t bytes) {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) {
            m_reason = "no pipe";
            return;
        }
        const uid_t uid = getuid();
        const gid_t gid = getgid();
        m_child = fork();
        if (m_child == 0) {
            close(ready[0]);
            char status = Enter(mountPoint, bytes, uid, gid);
            (void)!write(ready[1], &status, 1);
            if (status != 0) _exit(1);
            for (;;) pause();  // holds the namespace until killed
        }
        close(ready[1]);
        char status = 1;
        if (m_child < 0 || read(ready[0], &status, 1) != 1 || status != 0) {
            m_reason = "no user and mount namespace here (unshare or tmpfs mount refused)";
        } else {
            m_path = "/proc/" + std::to_string(m_child) + "/root" + mountPoint.string();
        }
        close(ready[0]);
    }
    ~SmallFileSystem() {
        if (m_child > 0) {
            kill(m_child, SIGKILL);
            waitpid(m_child, nullptr, 0);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool Ready() const { return !m_path.empty(); }
    const std::string& Reason() const { return m_reason; }
    // The mounted folder as this process reaches it.
    const std::string& Path() const { return m_path; }

private:
    static bool WriteText(const char* file, const std::string& text) {
        int fd = open(file, O_WRONLY | O_CLOEXEC);
        if (fd < 0) return false;
        bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        return ok;
    }
    // Runs in the child: 0 when the tmpfs is mounted.
    static char Enter(const std::filesystem::path& mountPoint, size_t bytes, uid_t uid, gid_t gid) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return 1;
        // The same user inside, so files created from outside stay ours.
        if (!WriteText("/proc/self/setgroups", "deny") ||
            !WriteText("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
            !WriteText("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1"))
            return 2;
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 3;
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
        if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0) return 4;
        return 0;
    }

    pid_t m_child = -1;
    std::string m_path;
    std::string m_reason;
};
