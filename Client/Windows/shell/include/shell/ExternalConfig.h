// Key=value configurations: the parser of their lines, the list of pairs,
// the loader that fetches one from a file or an address (http, https, ftp
// through libcurl, bounded in size and time), and the start-up sequence that
// lays them over the registry's settings.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

class CSettingsStore;

class CNameValue {
public:
    CNameValue() = default;
    CNameValue(std::u16string name, std::u16string value) : m_name(std::move(name)), m_value(std::move(value)) {}
    const std::u16string& GetName() const { return m_name; }
    const std::u16string& GetValue() const { return m_value; }
    void SetName(std::u16string name) { m_name = std::move(name); }
    void SetValue(std::u16string value) { m_value = std::move(value); }

private:
    std::u16string m_name;
    std::u16string m_value;
};

// Pairs in the order their names first came; a name that comes again
// (without regard to case) replaces the value in place.
class CNameValueList {
public:
    void Add(const CNameValue& pair);
    size_t GetCount() const { return m_pairs.size(); }
    const CNameValue& Get(size_t i) const { return *m_pairs[i]; }
    // Null when no pair has that name (without regard to case).
    const CNameValue* Find(std::u16string_view name) const;

private:
    std::vector<std::unique_ptr<CNameValue>> m_pairs;
};

// Hands out the lines of a text: CR, LF, CR LF and LF CR each end one line.
class CLineReader {
public:
    explicit CLineReader(std::u16string text) : m_text(std::move(text)) {}
    bool AtEnd() const { return m_pos >= m_text.size(); }
    std::u16string NextLine();

private:
    std::u16string m_text;
    size_t m_pos = 0;
};

int ParseConfigLine(CNameValue& pair, std::u16string_view line);
int ParseConfigText(CNameValueList& list, std::u16string_view text);
// Lays the pairs over the settings they name; the number applied.
int ApplyConfigPairs(const CNameValueList& list, CSettingsStore& store);

// A template from the settings with its one "%s" (also "%S" or "%ls")
// replaced by the text, taken as plain text and never as a format; nothing
// when the result would not fit maxChars - 1 characters.
std::optional<std::u16string> FormatTemplate(std::u16string_view pattern, std::u16string_view text, size_t maxChars);

class ExternalConfigLoader {
public:
    // At most this much of a file or a download is taken; more fails.
    static constexpr size_t kMaxBytes = 1 << 20;
    // A download that takes longer fails.
    static constexpr long kTimeoutMs = 10000;

    virtual ~ExternalConfigLoader() = default;
    int Load(std::u16string_view urlOrPath);
    int Apply(CSettingsStore& store) const;
    int Download(std::u16string_view url);
    int ReadFile(std::u16string_view path);
    const CNameValueList& GetList() const { return m_list; }

private:
    CNameValueList m_list;
};

void LoadExternalConfigs(CSettingsStore& store, const char16_t* firstName, const char16_t* secondName);
