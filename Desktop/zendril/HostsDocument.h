// The hosts file as Zendril edits it: the whole file in an IniFile handle,
// every line it does not change written back as it was read. Texts are the
// file's Windows-1252 bytes.
#pragma once

#include <string>
#include <vector>

#include "deskcommon/DocView.h"

namespace inifile {
struct IniFile;
}

namespace zendril {

// The editable keys of one host section.
struct HostFields {
    std::string host, description, port;
    bool operator==(const HostFields&) const = default;
};

// One entry of the host list: the section's OID and its Description.
struct ListedHost {
    unsigned oid = 0;
    std::string description;
};

// Longest texts of the host page's fields, in characters.
constexpr size_t kHostMax = 50;
constexpr size_t kDescriptionMax = 20;
constexpr size_t kPortMax = 5;

// The device reads host numbers as signed 32-bit: a new host's number stays
// within that range, so no two hosts of the file meet at its largest value.
constexpr unsigned kLargestNewOid = 2147483647;

inline constexpr char kCannotOpen[] = "Cannot open HOSTS.CFG.";
inline constexpr char kNoAddress[] = "Please enter a host address.";
inline constexpr char kNoNumber[] = "No host number is left for a new host.";
inline constexpr char kUsage[] =
    "Usage: Zendril [hosts.cfg]\n"
    "Edits the device's hosts file (by default hosts.cfg in the current folder):\n"
    "its hosts' names, addresses and ports. The flags CFG and /S:PATH are\n"
    "accepted and change nothing.\n"
    "  --help  this text\n";

// "hosts.cfg" in the current folder, or the command line's file name; the
// flags "CFG" and "S:<path>" are accepted and change nothing.
struct CommandLineInfo {
    std::string file = "hosts.cfg";
    bool cfg = false;
    std::string sPath;
    bool help = false;   // "--help": the usage text instead of the window
    void Parse(const std::vector<std::string>& args);
};

class CHostsDocument : public deskcommon::CDocument {
public:
    CHostsDocument() = default;
    ~CHostsDocument() override;
    CHostsDocument(const CHostsDocument&) = delete;
    CHostsDocument& operator=(const CHostsDocument&) = delete;

    // Reads the file and lists its hosts; false when it cannot be opened,
    // errno telling why.
    bool Load(const std::string& path);

    const std::vector<ListedHost>& Hosts() const { return m_hosts; }
    unsigned NextOid() const { return m_nextOid; }

    // A key the section lacks reads as empty.
    HostFields GetHost(unsigned oid) const;
    // Writes the keys whose value differs from the file's (a missing key
    // with an empty value stays missing), in the order Host, Description,
    // Port; false when a line is beyond the file library's limit.
    bool StoreHost(unsigned oid, const HostFields& fields);
    // The text of a field beyond its limit, or empty when all fit.
    static std::u16string CheckFields(const HostFields& fields);

    // Renames the list entry (the Name field as it is typed).
    void SetListText(size_t index, const std::string& text);
    // Appends a new host section and its list entry; its index, or kNoHost
    // when every number up to the largest is taken.
    static constexpr size_t kNoHost = size_t(-1);
    size_t NewHost();
    // Removes the host's section and list entry; an entry of OID 0 stays.
    bool DeleteHost(size_t index);

    // The check at OK: the index of the first host whose Host value is
    // empty, or -1 when all pass; an empty Description of a passing host
    // becomes its Host value.
    int CheckHosts();

    // Writes the file back under its own name; false with the message text.
    bool Save(std::u16string& error);

protected:
    const char* DefaultTitle() const override { return "hosts.cfg"; }

private:
    bool Value(const std::string& section, const char* key, std::string& out) const;

    inifile::IniFile* m_ini = nullptr;
    std::vector<ListedHost> m_hosts;
    unsigned m_nextOid = 1;
    bool m_full = false;
};

std::string SectionName(unsigned oid);

}  // namespace zendril
