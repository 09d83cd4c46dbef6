// Hosts: the record every host travels as, the hosts file "Hosts.cfg" of the
// program folder that holds the configured ones, and the small map in which
// the shell keeps its discovered hosts.
//
// The file is a sequence of records, each a section line "[OID=n]" and key
// lines Host=, Description=, Port= (case-sensitive keys, any order; other
// keys such as the desktop editor's Type, Term and KeyMap are read past and
// dropped when the file is rewritten). Text before the first "[" is ignored.
// It is single-byte text in the system code page, CR LF or LF line ends; the
// shell writes LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ListView.h"
#include "platform/Window.h"

class CHostEntry {
public:
    // Host and description hold at most this many characters; longer text
    // (from the file, the dialog or the host directory) is cut.
    static constexpr size_t kMaxText = 99;
    static constexpr int32_t kDefaultPort = 1000;

    CHostEntry() { Reset(); }
    // OID -1, empty texts, port 1000; the discovery flags stay.
    void Reset();

    const char16_t* GetHost() const { return m_host; }
    const char16_t* GetDescription() const { return m_description; }
    int32_t GetPort() const { return m_port; }
    int32_t GetOID() const { return m_oid; }
    uint32_t GetDiscoveryKey() const { return m_discovery; }
    void SetHost(std::u16string_view text) { Copy(m_host, text); }
    void SetDescription(std::u16string_view text) { Copy(m_description, text); }
    void SetPort(int32_t port) { m_port = port; }
    void SetOID(int32_t oid) { m_oid = oid; }
    void SetDiscoveryKey(uint32_t key) { m_discovery = key; }

private:
    static void Copy(char16_t (&field)[kMaxText + 1], std::u16string_view text);

    char16_t m_host[kMaxText + 1];
    char16_t m_description[kMaxText + 1];
    int32_t m_port = kDefaultPort;
    int32_t m_oid = -1;
    uint32_t m_discovery = 0;
};

class CHostList {
public:
    virtual ~CHostList() = default;
    virtual int32_t Add(const char16_t* host, const char16_t* description, int32_t port) = 0;
    virtual int32_t Update(int32_t oid, const char16_t* host, const char16_t* description, int32_t port) = 0;
    virtual int Delete(int32_t oid) = 0;
    virtual int FillListBox(HWND listBox) = 0;
    virtual int FillListView(HWND listView, const LVITEM& item) = 0;
    virtual int GetByOID(int32_t oid, CHostEntry& record) = 0;
    virtual int GetByOID(int32_t oid, std::u16string* description, std::u16string* host, int32_t* port) = 0;
    virtual int FindByDescription(const char16_t* text, CHostEntry& record) = 0;
    virtual void Nothing() {}
    virtual int One() { return 1; }
};

class CHostListFile : public CHostList {
public:
    // The program folder is taken from the folder table's "OVC" entry now.
    CHostListFile();

    int32_t Add(const char16_t* host, const char16_t* description, int32_t port) override;
    // OID 0 adds; another OID rewrites the file with the records of that OID
    // changed (all of them, when several share it).
    int32_t Update(int32_t oid, const char16_t* host, const char16_t* description, int32_t port) override;
    int Delete(int32_t oid) override;
    int FillListBox(HWND listBox) override;
    // Appends one item a record, in file order: the description with image 2
    // (a host of the hosts file), the host and port in columns 1 and 2. The
    // template's mask and state are used; with LVIF_PARAM the item's data is
    // a new CHostEntry that whoever deletes the item frees (LVN_DELETEITEM).
    // Returns the number of records read.
    int FillListView(HWND listView, const LVITEM& item) override;
    int GetByOID(int32_t oid, CHostEntry& record) override;
    int GetByOID(int32_t oid, std::u16string* description, std::u16string* host, int32_t* port) override;
    int FindByDescription(const char16_t* text, CHostEntry& record) override;

    // Every record of the file in file order (a line without "=" is skipped,
    // the rest of the record kept); false when the file cannot be opened.
    // A missing file is created empty.
    bool ReadAll(std::vector<CHostEntry>& records);
    std::u16string GetPath() const;

private:
    // The file's bytes as they are; the file is made when missing.
    bool ReadBytes(std::string& bytes);
    bool Rewrite(const std::vector<CHostEntry>& records);

    std::u16string m_folder;
};

// Key-to-value nodes, newest first; no lock (its owner guards it) and no
// ownership of what the values point to.
class CIndexMap {
public:
    CIndexMap() = default;
    ~CIndexMap();
    CIndexMap(const CIndexMap&) = delete;
    CIndexMap& operator=(const CIndexMap&) = delete;

    int Add(uint32_t key, uintptr_t value);
    int Lookup(uint32_t key, uintptr_t* value) const;
    int Remove(uint32_t key, uintptr_t* value = nullptr);

private:
    struct Node {
        uint32_t key;
        uintptr_t value;
        Node* next;
    };
    Node* m_head = nullptr;
};
