// Writes installation packages for the tests with libarchive: tar (gnutar)
// or zip, with any entry a package might hold, links and devices included.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <string>
#include <utility>
#include <vector>

namespace instavotest {

struct Entry {
    Entry(std::string name_, std::string data_ = {}, unsigned type_ = AE_IFREG, unsigned perm_ = 0644,
          std::string link_ = {}, std::string hardlink_ = {})
        : name(std::move(name_)), data(std::move(data_)), type(type_), perm(perm_), link(std::move(link_)),
          hardlink(std::move(hardlink_)) {}
    std::string name;
    std::string data;
    unsigned type;  // AE_IFREG, AE_IFDIR, AE_IFLNK, AE_IFIFO, AE_IFCHR...
    unsigned perm;
    std::string link;  // a symbolic link's target
    std::string hardlink;  // a hard link's target
};

enum class Format { Tar, Zip };

// False when libarchive refuses.
inline bool WritePackage(const std::string& path, const std::vector<Entry>& entries, Format format = Format::Tar) {
    archive* a = archive_write_new();
    if (format == Format::Zip)
        archive_write_set_format_zip(a);
    else
        archive_write_set_format_gnutar(a);
    bool ok = archive_write_open_filename(a, path.c_str()) == ARCHIVE_OK;
    for (const Entry& e : entries) {
        if (!ok) break;
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.c_str());
        archive_entry_set_filetype(entry, e.type);
        archive_entry_set_perm(entry, e.perm);
        if (!e.link.empty()) archive_entry_set_symlink(entry, e.link.c_str());
        if (!e.hardlink.empty()) archive_entry_set_hardlink(entry, e.hardlink.c_str());
        archive_entry_set_size(entry, e.type == AE_IFREG && e.hardlink.empty() ? la_int64_t(e.data.size()) : 0);
        ok = archive_write_header(a, entry) == ARCHIVE_OK;
        if (ok && e.type == AE_IFREG && !e.data.empty())
            ok = archive_write_data(a, e.data.data(), e.data.size()) == la_ssize_t(e.data.size());
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

}  // namespace instavotest
