// A machine temporary directory for one fuzzing process, removed at its end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

class FuzzDir {
public:
    explicit FuzzDir(const std::string& prefix) {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        m_path = pattern;
    }
    ~FuzzDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    FuzzDir(const FuzzDir&) = delete;
    FuzzDir& operator=(const FuzzDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};
