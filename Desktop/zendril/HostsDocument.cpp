#include "zendril/HostsDocument.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <strings.h>

#include "deskcommon/Messages.h"
#include "inifile/IniFile.h"

namespace zendril {

namespace {

// Section names of 100 bytes or more are no host's: they are passed over.
constexpr int kNameBuffer = 100;
// Values are read whole (a line the library builds is shorter), so a host
// stored back unchanged never loses the end of a long value.
constexpr int kValueBuffer = 4096;

}  // namespace

void CommandLineInfo::Parse(const std::vector<std::string>& args) {
    bool haveFile = false;
    for (const std::string& arg : args) {
        // "/" starts a flag only before the flags' names, so absolute paths
        // stay file names.
        const bool flag = !arg.empty() && (arg[0] == '/' || arg[0] == '-');
        const std::string word = flag ? arg.substr(1) : arg;
        if (arg == "--help") {
            help = true;
        } else if (strcasecmp(word.c_str(), "CFG") == 0) {
            cfg = true;
        } else if (flag && word.size() >= 2 && (word[0] == 'S' || word[0] == 's') && word[1] == ':') {
            sPath = word.substr(2);
        } else if (!arg.empty() && arg[0] != '-' && !haveFile) {
            file = arg;
            haveFile = true;
        }
    }
}

std::string SectionName(unsigned oid) {
    return "OID=" + std::to_string(oid);
}

CHostsDocument::~CHostsDocument() {
    inifile::IniClose(m_ini);
}

bool CHostsDocument::Load(const std::string& path) {
    inifile::IniFile* ini = inifile::IniLoad(path.c_str(), inifile::kIniBracketed, "");
    if (!ini)
        return false;
    inifile::IniClose(m_ini);
    m_ini = ini;
    m_hosts.clear();
    m_nextOid = 1;
    m_full = false;
    char name[kNameBuffer];
    for (int n = 0;; ++n) {
        const int status = inifile::IniGetSectionName(m_ini, n, name, sizeof name);
        if (status == inifile::kIniBufferTooSmall)
            continue;
        if (status != inifile::kIniOk)
            break;
        std::string description;
        if (std::strlen(name) < 4 || name[3] != '=' || !Value(name, "Description", description))
            continue;
        // Saturates as the C library's conversion does.
        unsigned long long number = 0;
        for (const char* p = name + 4; *p >= '0' && *p <= '9'; ++p)
            number = std::min<unsigned long long>(number * 10 + unsigned(*p - '0'), UINT32_MAX);
        const unsigned oid = unsigned(number);
        m_hosts.push_back({oid, description});
        if (oid >= m_nextOid) {
            // The largest number leaves none for a new host (no wrap to 0).
            m_full = oid >= kLargestNewOid;
            m_nextOid = m_full ? oid : oid + 1;
        }
    }
    SetPathName(path);
    SetModifiedFlag(false);
    UpdateAllViews(0);
    return true;
}

bool CHostsDocument::Value(const std::string& section, const char* key, std::string& out) const {
    std::string buffer(kValueBuffer, '\0');
    if (!inifile::IniGetValue(m_ini, section.c_str(), key, 0, buffer.data(), kValueBuffer))
        return false;
    out = buffer.c_str();
    return true;
}

HostFields CHostsDocument::GetHost(unsigned oid) const {
    HostFields f;
    const std::string section = SectionName(oid);
    Value(section, "Host", f.host);
    Value(section, "Description", f.description);
    Value(section, "Port", f.port);
    return f;
}

bool CHostsDocument::StoreHost(unsigned oid, const HostFields& fields) {
    const std::string section = SectionName(oid);
    const std::pair<const char*, const std::string*> keys[] = {
        {"Host", &fields.host}, {"Description", &fields.description}, {"Port", &fields.port}};
    for (const auto& [key, value] : keys) {
        std::string old;
        const bool found = Value(section, key, old);
        if (found ? old == *value : value->empty())
            continue;
        if (inifile::IniSetValue(m_ini, section.c_str(), key, 0, value->c_str()) != inifile::kIniOk)
            return false;
        SetModifiedFlag();
    }
    return true;
}

std::u16string CHostsDocument::CheckFields(const HostFields& fields) {
    const std::pair<const std::string*, size_t> limits[] = {
        {&fields.description, kDescriptionMax}, {&fields.host, kHostMax}, {&fields.port, kPortMax}};
    for (const auto& [text, max] : limits) {
        if (deskcommon::FromAnsi(*text).size() > max)
            return deskcommon::FormatRange("Please enter no more than %d characters.", int(max), 0);
    }
    return {};
}

void CHostsDocument::SetListText(size_t index, const std::string& text) {
    if (index < m_hosts.size())
        m_hosts[index].description = text;
}

size_t CHostsDocument::NewHost() {
    if (m_full)
        return kNoHost;
    const unsigned oid = m_nextOid;
    if (oid >= kLargestNewOid)
        m_full = true;
    else
        ++m_nextOid;
    const std::string section = SectionName(oid);
    const std::pair<const char*, const char*> keys[] = {{"Host", ""},           {"Description", "New Host"},
                                                        {"Type", "QUILLMAR"},   {"Term", ""},
                                                        {"KeyMap", "QUILLMAR"}, {"Port", "1000"}};
    for (const auto& [key, value] : keys)
        inifile::IniSetValue(m_ini, section.c_str(), key, 0, value);
    m_hosts.push_back({oid, "New Host"});
    SetModifiedFlag();
    return m_hosts.size() - 1;
}

bool CHostsDocument::DeleteHost(size_t index) {
    if (index >= m_hosts.size() || m_hosts[index].oid == 0)
        return false;
    inifile::IniSetValue(m_ini, SectionName(m_hosts[index].oid).c_str(), nullptr, 0, nullptr);
    m_hosts.erase(m_hosts.begin() + long(index));
    SetModifiedFlag();
    return true;
}

int CHostsDocument::CheckHosts() {
    for (size_t i = 0; i < m_hosts.size(); ++i) {
        const std::string section = SectionName(m_hosts[i].oid);
        std::string host, description;
        const bool hasHost = Value(section, "Host", host);
        if (hasHost && host.empty())
            return int(i);
        Value(section, "Description", description);
        if (description.empty() && !host.empty()) {
            inifile::IniSetValue(m_ini, section.c_str(), "Description", 0, host.c_str());
            m_hosts[i].description = host;
            SetModifiedFlag();
        }
    }
    return -1;
}

bool CHostsDocument::Save(std::u16string& error) {
    if (inifile::IniWrite(m_ini, nullptr) != inifile::kIniOk) {
        const int code = errno;
        error = deskcommon::Format("Cannot save %s: ", deskcommon::FromPath(GetPathName())) +
                deskcommon::FromAnsi(code ? std::strerror(code) : "the file cannot be written") + u".";
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

}  // namespace zendril
