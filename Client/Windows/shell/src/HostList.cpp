#include "shell/HostList.h"

#include <cstdio>
#include <new>

#include "core/support/FileHandle.h"
#include "platform/DeviceFs.h"
#include "platform/Message.h"
#include "platform/Text.h"
#include "platform/WinConst.h"
#include "shell/ShellUtil.h"

namespace {

constexpr size_t kSectionMax = 511;  // characters of a section line kept
constexpr size_t kLineMax = 511;     // characters of a key line kept

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f'; }

// The records of the file's text: what the reader of the file delivers.
std::vector<CHostEntry> ParseHosts(std::u16string_view text) {
    std::vector<CHostEntry> records;
    size_t pos = text.find_first_of(std::u16string_view(u"[\0", 2));
    if (pos == std::u16string_view::npos || text[pos] != u'[') return records;
    ++pos;
    auto readLine = [&](size_t max) {
        const size_t end = std::min(text.find(u'\n', pos), text.size());
        std::u16string_view line = text.substr(pos, end - pos);
        pos = end;
        while (!line.empty() && (line.back() == u'\r' || line.back() == u'\n')) line.remove_suffix(1);
        return line.substr(0, max);
    };
    while (pos < text.size()) {
        CHostEntry record;
        const std::u16string_view section = readLine(kSectionMax);
        // The number follows the four characters "OID="; a shorter line has none.
        record.SetOID(section.size() >= 4 ? ParseDecimal(section.substr(4)) : 0);
        bool more = false;
        while (pos < text.size()) {
            const char16_t c = text[pos];
            if (c == u'\n' || c == u'\r') {
                ++pos;
                continue;
            }
            if (c == u'[') {
                ++pos;
                more = true;
                break;
            }
            const std::u16string_view line = readLine(kLineMax);
            const size_t equals = line.find(u'=');
            if (equals == std::u16string_view::npos) continue;  // skipped, the record goes on
            std::u16string_view key = line.substr(0, equals), value = line.substr(equals + 1);
            while (!key.empty() && IsBlank(key.back())) key.remove_suffix(1);
            while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
            if (key == u"Host") record.SetHost(value);
            else if (key == u"Description") record.SetDescription(value);
            else if (key == u"Port") record.SetPort(ParseDecimal(value));
        }
        records.push_back(record);
        if (!more) break;
    }
    return records;
}

std::string FormatRecord(const CHostEntry& r) {
    // The form the desktop editor writes: CR LF after every line, the last included.
    const std::u16string text = u"[OID=" + plat::text::Utf8ToWide(std::to_string(r.GetOID())) + u"]\r\nHost=" +
                                r.GetHost() + u"\r\nDescription=" + r.GetDescription() + u"\r\nPort=" +
                                plat::text::Utf8ToWide(std::to_string(r.GetPort())) + u"\r\n";
    return plat::text::WideToBytes(CP_ACP, text);
}

}  // namespace

void CHostEntry::Copy(char16_t (&field)[kMaxText + 1], std::u16string_view text) {
    const size_t n = std::min(text.size(), kMaxText);
    std::char_traits<char16_t>::copy(field, text.data(), n);
    field[n] = 0;
}

void CHostEntry::Reset() {
    m_oid = -1;
    m_host[0] = 0;
    m_description[0] = 0;
    m_port = kDefaultPort;
}

CHostListFile::CHostListFile() {
    const char16_t* folder = GetFolder(u"OVC", nullptr);
    m_folder = folder ? folder : u"";
    if (m_folder.size() > 259) m_folder.resize(259);
}

std::u16string CHostListFile::GetPath() const { return m_folder + u"\\Hosts.cfg"; }

bool CHostListFile::ReadBytes(std::string& bytes) {
    bytes.clear();
    // Read and append, created when missing.
    FileHandle file = OpenDeviceFile(GetPath(), "a+b");
    if (!file) return false;
    std::fseek(file.get(), 0, SEEK_SET);
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, n);
    return !std::ferror(file.get());
}

bool CHostListFile::ReadAll(std::vector<CHostEntry>& records) {
    records.clear();
    std::string bytes;
    if (!ReadBytes(bytes)) return false;
    records = ParseHosts(plat::text::BytesToWide(CP_ACP, bytes));
    return true;
}

bool CHostListFile::Rewrite(const std::vector<CHostEntry>& records) {
    std::string bytes;
    for (const CHostEntry& r : records) bytes += FormatRecord(r);
    // The new file is written whole beside the old one, then takes its name.
    return plat::fs::WriteFile(GetPath(), bytes.data(), bytes.size());
}

int32_t CHostListFile::Add(const char16_t* host, const char16_t* description, int32_t port) {
    std::string bytes;
    if (!ReadBytes(bytes)) return 0;
    // Compared as unsigned numbers: a negative OID counts as the largest.
    uint32_t largest = 0;
    for (const CHostEntry& r : ParseHosts(plat::text::BytesToWide(CP_ACP, bytes)))
        largest = std::max(largest, uint32_t(r.GetOID()));
    const int32_t oid = int32_t(largest + 1);
    if (oid == 0) return 0;
    CHostEntry record;
    record.SetOID(oid);
    record.SetHost(host ? host : u"");
    record.SetDescription(description ? description : u"");
    record.SetPort(port);
    // A last line without its line end (another writer's) would take the
    // section line into it.
    if (!bytes.empty() && bytes.back() != '\n') bytes += "\r\n";
    bytes += FormatRecord(record);
    // The old bytes and the record, written whole beside the file: a full
    // disk or a kill never leaves half a record to be read as a host.
    return plat::fs::WriteFile(GetPath(), bytes.data(), bytes.size()) ? oid : 0;
}

int32_t CHostListFile::Update(int32_t oid, const char16_t* host, const char16_t* description, int32_t port) {
    if (oid == 0) return Add(host, description, port);
    std::vector<CHostEntry> records;
    if (!ReadAll(records)) return 0;
    for (CHostEntry& r : records) {
        if (r.GetOID() != oid) continue;
        r.SetHost(host ? host : u"");
        r.SetDescription(description ? description : u"");
        r.SetPort(port);
    }
    return Rewrite(records) ? oid : 0;
}

int CHostListFile::Delete(int32_t oid) {
    std::vector<CHostEntry> records;
    if (!ReadAll(records)) return 0;
    std::erase_if(records, [oid](const CHostEntry& r) { return r.GetOID() == oid; });
    return Rewrite(records) ? 1 : 0;
}

int CHostListFile::FillListBox(HWND listBox) {
    std::vector<CHostEntry> records;
    ReadAll(records);
    int added = 0;
    for (const CHostEntry& r : records) {
        const LRESULT index = SendMessage(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(r.GetDescription()));
        if (index < 0) continue;
        SendMessage(listBox, LB_SETITEMDATA, WPARAM(index), LPARAM(r.GetOID()));
        ++added;
    }
    return added;
}

int CHostListFile::FillListView(HWND listView, const LVITEM& item) {
    constexpr int kFileHostImage = 2;
    std::vector<CHostEntry> records;
    ReadAll(records);
    // No window would take the records' copies: nothing is made to be lost.
    if (!IsWindow(listView)) return int(records.size());
    for (const CHostEntry& r : records) {
        LVITEM row = item;
        row.iItem = int(SendMessage(listView, LVM_GETITEMCOUNT, 0, 0));
        row.iSubItem = 0;
        row.pszText = const_cast<char16_t*>(r.GetDescription());
        row.iImage = kFileHostImage;
        CHostEntry* copy = nullptr;
        if (row.mask & LVIF_PARAM) {
            copy = new (std::nothrow) CHostEntry(r);
            if (!copy) continue;
        }
        row.lParam = reinterpret_cast<LPARAM>(copy);
        const LRESULT at = SendMessage(listView, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&row));
        if (at < 0) {
            // Not in the list, so no deletion notice will ever free it.
            delete copy;
            continue;
        }
        const std::u16string port = plat::text::Utf8ToWide(std::to_string(r.GetPort()));
        LVITEM sub{};
        sub.iSubItem = 1;
        sub.pszText = const_cast<char16_t*>(r.GetHost());
        SendMessage(listView, LVM_SETITEMTEXT, WPARAM(at), reinterpret_cast<LPARAM>(&sub));
        sub.iSubItem = 2;
        sub.pszText = const_cast<char16_t*>(port.c_str());
        SendMessage(listView, LVM_SETITEMTEXT, WPARAM(at), reinterpret_cast<LPARAM>(&sub));
    }
    return int(records.size());
}

int CHostListFile::GetByOID(int32_t oid, CHostEntry& record) {
    record.Reset();
    std::vector<CHostEntry> records;
    ReadAll(records);
    for (const CHostEntry& r : records) {
        if (r.GetOID() == oid) {
            record = r;
            return 1;
        }
    }
    return 0;
}

int CHostListFile::GetByOID(int32_t oid, std::u16string* description, std::u16string* host, int32_t* port) {
    CHostEntry record;
    if (!GetByOID(oid, record)) return 0;
    if (description) *description = record.GetDescription();
    if (host) *host = record.GetHost();
    if (port) *port = record.GetPort();
    return 1;
}

int CHostListFile::FindByDescription(const char16_t* text, CHostEntry& record) {
    if (!text) return 0;
    std::vector<CHostEntry> records;
    ReadAll(records);
    for (const CHostEntry& r : records) {
        if (std::u16string_view(r.GetDescription()) == text) {
            record = r;
            return 1;
        }
    }
    return 0;
}

CIndexMap::~CIndexMap() {
    while (m_head) {
        Node* next = m_head->next;
        delete m_head;
        m_head = next;
    }
}

int CIndexMap::Add(uint32_t key, uintptr_t value) {
    Node* node = new (std::nothrow) Node{key, value, m_head};
    if (!node) return 0;
    m_head = node;
    return 1;
}

int CIndexMap::Lookup(uint32_t key, uintptr_t* value) const {
    for (Node* n = m_head; n; n = n->next) {
        if (n->key == key) {
            if (value) *value = n->value;
            return 1;
        }
    }
    return 0;
}

int CIndexMap::Remove(uint32_t key, uintptr_t* value) {
    for (Node** link = &m_head; *link; link = &(*link)->next) {
        if ((*link)->key != key) continue;
        Node* node = *link;
        if (value) *value = node->value;
        *link = node->next;
        delete node;
        return 1;
    }
    return 0;
}
