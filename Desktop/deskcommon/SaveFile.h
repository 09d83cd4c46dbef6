// Saving a file the way careful desktop editors do: the new content goes to
// a temporary file beside the file it replaces and takes its name only once
// it is complete, so the old content survives any failure. A symbolic link
// is followed and its target replaced (the link stays a link); a file the
// user may not write is refused, never replaced behind the user's back; the
// replaced file keeps its permissions, and its owner and group where the
// system lets us keep them.
#pragma once

#include <string>

namespace deskcommon {

class CSaveFile {
public:
    CSaveFile() = default;
    ~CSaveFile();   // a save not committed is discarded
    CSaveFile(const CSaveFile&) = delete;
    CSaveFile& operator=(const CSaveFile&) = delete;

    // Finds the file that path names (through links) and starts its
    // temporary file; false with Error() when the file may not be written.
    // Temporary files of this file's earlier saves that were cut short (the
    // program killed) go first; those of saves under way stay.
    bool Open(const std::string& path);
    // The temporary file's descriptor, until Commit or Discard.
    int Fd() const { return m_fd; }
    // Puts bytes at the end of the temporary file; false with Error().
    bool Write(const void* bytes, size_t count);
    // Syncs the temporary file and renames it over the target; false with
    // Error(), the old file untouched.
    bool Commit();
    void Discard();

    // The file that is replaced: path with its links followed.
    const std::string& Target() const { return m_target; }
    // Why the save failed, as the system words it ("Permission denied").
    const std::string& Error() const { return m_error; }
    // The errno of the failure.
    int ErrorCode() const { return m_errno; }

private:
    bool Fail(int code);

    std::string m_target, m_temp, m_error;
    int m_fd = -1;
    int m_errno = 0;
};

// The file path names after following its symbolic links (a missing last
// target is named as it would be created); path unchanged when it is no
// link. Fails with ELOOP for a cycle.
bool FollowLinks(const std::string& path, std::string& target, int& error);

}  // namespace deskcommon
