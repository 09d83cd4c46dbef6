#include "Package.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>

#include "platform/DeviceFs.h"
#include "platform/Text.h"

namespace installer {
namespace {

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
using Archive = std::unique_ptr<archive, ArchiveCloser>;

constexpr size_t kBlock = 64 * 1024;

Archive NewReader() {
    Archive a(archive_read_new());
    if (!a) return a;
    archive_read_support_format_tar(a.get());
    archive_read_support_format_gnutar(a.get());
    archive_read_support_format_zip(a.get());
    archive_read_support_filter_gzip(a.get());
    return a;
}

// The entry as a package entry, or the rule it breaks.
PackageError Describe(archive_entry* e, PackageEntry* out, std::string* rawName) {
    const char* raw = archive_entry_pathname(e);
    *rawName = raw ? raw : "";
    const char* utf8 = archive_entry_pathname_utf8(e);
    if (!utf8) return PackageError::BadName;
    if (archive_entry_hardlink(e) || archive_entry_symlink(e)) return PackageError::Link;
    const mode_t type = archive_entry_filetype(e);
    if (type == AE_IFLNK) return PackageError::Link;
    if (type != AE_IFREG && type != AE_IFDIR) return PackageError::NotAFile;
    const PackageError error = RelativeName(utf8, &out->name);
    if (error != PackageError::None) return error;
    out->directory = type == AE_IFDIR;
    out->executable = !out->directory && (archive_entry_perm(e) & 0111) != 0;
    out->size = archive_entry_size_is_set(e) && archive_entry_size(e) > 0 ? uint64_t(archive_entry_size(e)) : 0;
    return PackageError::None;
}

PackageContents ReadAll(archive* a) {
    PackageContents contents;
    archive_entry* e = nullptr;
    for (;;) {
        const int r = archive_read_next_header(a, &e);
        if (r == ARCHIVE_EOF) break;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            contents.error = PackageError::Format;
            break;
        }
        PackageEntry entry;
        contents.error = Describe(e, &entry, &contents.badEntry);
        if (contents.error != PackageError::None) break;
        // The whole package is read, so a broken one is found before anything is written.
        if (archive_read_data_skip(a) != ARCHIVE_OK) {
            contents.error = PackageError::Format;
            break;
        }
        if (!entry.name.empty()) contents.entries.push_back(std::move(entry));
    }
    if (contents.error != PackageError::None)
        contents.entries.clear();
    else
        contents.badEntry.clear();
    return contents;
}

}  // namespace

const char* ErrorText(PackageError error) {
    switch (error) {
        case PackageError::None: return "no error";
        case PackageError::Open: return "cannot be opened";
        case PackageError::Format: return "not a tar or zip package, or a broken one";
        case PackageError::AbsoluteName: return "an absolute name";
        case PackageError::ParentName: return "a name that leaves its folder (\"..\")";
        case PackageError::BadName: return "a name the device cannot hold";
        case PackageError::Link: return "a link";
        case PackageError::NotAFile: return "neither a file nor a folder";
    }
    return "unknown error";
}

PackageError RelativeName(std::string_view packageName, std::u16string* relative) {
    relative->clear();
    std::u16string built;
    if (packageName.empty()) return PackageError::BadName;
    if (packageName.front() == '/' || packageName.front() == '\\') return PackageError::AbsoluteName;
    const std::u16string wide = plat::text::BytesToWide(CP_UTF8, packageName);
    if (wide.find(u'\uFFFD') != std::u16string::npos) return PackageError::BadName;
    size_t start = 0;
    while (start <= wide.size()) {
        size_t end = wide.find_first_of(u"/\\", start);
        if (end == std::u16string::npos) end = wide.size();
        const std::u16string_view part = std::u16string_view(wide).substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == u".") continue;
        if (part == u"..") return PackageError::ParentName;
        // A drive ("C:") or a stream name: nothing a device path holds.
        if (part.find(u':') != std::u16string_view::npos) return PackageError::AbsoluteName;
        if (!plat::fs::IsSafeName(part)) return PackageError::BadName;
        if (!built.empty()) built += u'\\';
        built += part;
    }
    *relative = std::move(built);
    return PackageError::None;
}

PackageContents ReadPackage(const std::string& hostPath) {
    Archive a = NewReader();
    if (!a || archive_read_open_filename(a.get(), hostPath.c_str(), kBlock) != ARCHIVE_OK)
        return PackageContents{PackageError::Open, {}, {}};
    return ReadAll(a.get());
}

PackageContents ReadPackageBytes(const void* data, size_t size) {
    Archive a = NewReader();
    if (!a || archive_read_open_memory(a.get(), data, size) != ARCHIVE_OK)
        return PackageContents{PackageError::Format, {}, {}};
    return ReadAll(a.get());
}

bool ExtractPackage(const std::string& hostPath,
                    const std::function<bool(const PackageEntry& entry, const ReadBytes& read)>& visit) {
    Archive a = NewReader();
    if (!a || archive_read_open_filename(a.get(), hostPath.c_str(), kBlock) != ARCHIVE_OK) return false;
    archive_entry* e = nullptr;
    for (;;) {
        const int r = archive_read_next_header(a.get(), &e);
        if (r == ARCHIVE_EOF) return true;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return false;
        PackageEntry entry;
        std::string raw;
        // Checked again: the file may have changed since it was read.
        if (Describe(e, &entry, &raw) != PackageError::None) return false;
        if (entry.name.empty()) continue;
        archive* reader = a.get();
        const ReadBytes read = [reader](void* buffer, size_t size) -> long {
            const la_ssize_t n = archive_read_data(reader, buffer, size);
            return n < 0 ? -1 : long(n);
        };
        if (!visit(entry, read)) return true;
    }
}

}  // namespace installer
