#include "shell/ExternalConfig.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdio>

#include "core/support/FileHandle.h"
#include "platform/DeviceFs.h"
#include "platform/Text.h"
#include "shell/SettingsStore.h"
#include "shell/ShellUtil.h"

namespace {

char16_t Fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

std::string Narrow(std::u16string_view text) { return plat::text::WideToUtf8(text); }

// The scheme of a URL ("http" of "http://..."), lower case; empty when the
// text is not a URL.
std::u16string SchemeOf(std::u16string_view text) {
    const size_t colon = text.find(u':');
    if (colon == std::u16string_view::npos || colon < 2) return {};
    std::u16string scheme;
    for (size_t i = 0; i < colon; ++i) {
        const char16_t c = Fold(text[i]);
        const bool letter = c >= u'a' && c <= u'z';
        if (!letter && !(i > 0 && ((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.'))) return {};
        scheme += c;
    }
    return scheme;
}

// The device path of a file URL: what follows "file://", with '/' read as
// the device's '\'.
std::u16string FileUrlPath(std::u16string_view url) {
    std::u16string_view rest = url.substr(url.find(u':') + 1);
    if (rest.substr(0, 2) == u"//") rest.remove_prefix(2);
    std::u16string path(rest);
    for (char16_t& c : path)
        if (c == u'/') c = u'\\';
    return path;
}

// libcurl and its TLS libraries are loaded with the first download, not
// with the shell: most devices never fetch a configuration address.
#define ORVADE_CURL_FUNCTIONS(X) \
    X(global_init)               \
    X(easy_init)                 \
    X(easy_setopt)               \
    X(easy_perform)              \
    X(easy_cleanup)              \
    X(easy_strerror)             \
    X(slist_append)              \
    X(slist_free_all)

struct CurlApi {
#define ORVADE_CURL_POINTER(name) decltype(&curl_##name) name = nullptr;
    ORVADE_CURL_FUNCTIONS(ORVADE_CURL_POINTER)
#undef ORVADE_CURL_POINTER
};

// The library's functions, initialised once; null when it cannot be loaded.
const CurlApi* LoadCurl() {
    static const CurlApi* api = []() -> const CurlApi* {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            ShellLog(LOG_ERROR, "ExternalConfigLoader: libcurl cannot be loaded: %s", dlerror());
            return nullptr;
        }
        static CurlApi loaded;
        bool complete = true;
#define ORVADE_CURL_RESOLVE(name) \
    complete = complete && (loaded.name = reinterpret_cast<decltype(loaded.name)>(dlsym(library, "curl_" #name)));
        ORVADE_CURL_FUNCTIONS(ORVADE_CURL_RESOLVE)
#undef ORVADE_CURL_RESOLVE
        if (!complete || loaded.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
        return &loaded;
    }();
    return api;
}

struct Body {
    std::string bytes;
    bool tooLarge = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const size_t n = size * count;
    if (body->bytes.size() + n > ExternalConfigLoader::kMaxBytes) {
        body->tooLarge = true;
        return 0;  // aborts the transfer
    }
    body->bytes.append(data, n);
    return n;
}

}  // namespace

void CNameValueList::Add(const CNameValue& pair) {
    for (auto& existing : m_pairs) {
        if (EqualNoCase(existing->GetName(), pair.GetName())) {
            existing->SetValue(pair.GetValue());
            return;
        }
    }
    m_pairs.push_back(std::make_unique<CNameValue>(pair));
}

const CNameValue* CNameValueList::Find(std::u16string_view name) const {
    for (const auto& pair : m_pairs)
        if (EqualNoCase(pair->GetName(), name)) return pair.get();
    return nullptr;
}

std::u16string CLineReader::NextLine() {
    if (AtEnd()) return {};
    size_t end = m_text.find_first_of(u"\r\n", m_pos);
    if (end == std::u16string::npos) end = m_text.size();
    std::u16string line = m_text.substr(m_pos, end - m_pos);
    m_pos = end;
    if (m_pos < m_text.size()) {
        ++m_pos;
        if (m_pos < m_text.size() && (m_text[m_pos] == u'\r' || m_text[m_pos] == u'\n')) ++m_pos;
    }
    return line;
}

int ParseConfigLine(CNameValue& pair, std::u16string_view line) {
    if (line.size() < 3 || line[0] == u'#' || line[0] == u';') return 0;
    const size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos || equals + 1 == line.size()) return 0;
    std::u16string_view value = line.substr(equals + 1);
    const size_t comment = value.find_first_of(u"#;");
    if (comment != std::u16string_view::npos) value = value.substr(0, comment);
    pair.SetName(TrimSpaces(std::u16string(line.substr(0, equals))));
    pair.SetValue(TrimSpaces(std::u16string(value)));
    return 1;
}

int ParseConfigText(CNameValueList& list, std::u16string_view text) {
    CLineReader reader{std::u16string(text)};
    CNameValue pair;
    int added = 0;
    while (!reader.AtEnd()) {
        if (ParseConfigLine(pair, reader.NextLine())) {
            list.Add(pair);
            ++added;
        }
    }
    return added;
}

int ApplyConfigPairs(const CNameValueList& list, CSettingsStore& store) {
    int applied = 0;
    for (size_t i = 0; i < list.GetCount(); ++i) {
        const CNameValue& pair = list.Get(i);
        const int n = store.FindByName(pair.GetName().c_str());
        if (n < 0) continue;
        const std::u16string& value = pair.GetValue();
        switch (store.GetType(n)) {
        case 0:
            store.SetInt(n, (EqualNoCase(value, u"true") || EqualNoCase(value, u"yes") || EqualNoCase(value, u"on") ||
                             value == u"1")
                                ? 1
                                : 0);
            break;
        case 1:
            store.SetInt(n, ParseDecimal(value));
            break;
        default:
            store.SetString(n, value.c_str());
            break;
        }
        ++applied;
    }
    return applied;
}

std::optional<std::u16string> FormatTemplate(std::u16string_view pattern, std::u16string_view text, size_t maxChars) {
    std::u16string result;
    bool replaced = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (!replaced && pattern[i] == u'%') {
            size_t length = 0;
            if (pattern.substr(i, 2) == u"%s" || pattern.substr(i, 2) == u"%S") length = 2;
            else if (pattern.substr(i, 3) == u"%ls") length = 3;
            if (length) {
                result += text;
                replaced = true;
                i += length - 1;
                continue;
            }
        }
        result += pattern[i];
    }
    if (maxChars == 0 || result.size() > maxChars - 1) return std::nullopt;
    return result;
}

int ExternalConfigLoader::Load(std::u16string_view text) {
    ShellLog(LOG_TRACE, "ExternalConfigLoader::Load (%s)", Narrow(text).c_str());
    const std::u16string scheme = SchemeOf(text);
    if (!scheme.empty()) {
        if (scheme == u"http" || scheme == u"https" || scheme == u"ftp") return Download(text);
        if (scheme == u"file") return ReadFile(FileUrlPath(text));
        return ReadFile(text);
    }
    if (text.empty()) return 0;
    if (ReadFile(text)) return 1;
    const std::u16string& folder = GetProgramFolderText();
    if (folder.empty()) return 0;
    const std::u16string joined = folder + u"\\" + std::u16string(text);
    if (joined.size() > 259) return 0;
    return ReadFile(joined);
}

int ExternalConfigLoader::Apply(CSettingsStore& store) const { return ApplyConfigPairs(m_list, store); }

int ExternalConfigLoader::Download(std::u16string_view url) {
    const CurlApi* api = LoadCurl();
    if (!api) return 0;
    CURL* curl = api->easy_init();
    if (!curl) return 0;
    Body body;
    const std::string address = Narrow(url);
    api->easy_setopt(curl, CURLOPT_URL, address.c_str());
    api->easy_setopt(curl, CURLOPT_USERAGENT, "OVC v1.0");
    api->easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    api->easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    api->easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    api->easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    api->easy_setopt(curl, CURLOPT_TIMEOUT_MS, kTimeoutMs);
    api->easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    api->easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    api->easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kMaxBytes));
    // Never from a cache: ask every proxy on the way for a fresh copy.
    curl_slist* headers = api->slist_append(nullptr, "Cache-Control: no-cache");
    headers = api->slist_append(headers, "Pragma: no-cache");
    api->easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    api->easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    api->easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const CURLcode rc = api->easy_perform(curl);
    api->slist_free_all(headers);
    api->easy_cleanup(curl);
    if (rc != CURLE_OK) {
        ShellLog(LOG_ERROR, "ExternalConfigLoader::Download failed (%s): %s", address.c_str(),
                 body.tooLarge ? "larger than 1 MiB" : api->easy_strerror(rc));
        return 0;
    }
    ParseConfigText(m_list, plat::text::BytesToWide(CP_ACP, body.bytes, true));
    return body.bytes.empty() ? 0 : 1;
}

int ExternalConfigLoader::ReadFile(std::u16string_view path) {
    FileHandle file = OpenDeviceFile(path, "rb");
    if (!file) return 0;
    std::string bytes;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        if (bytes.size() + n > kMaxBytes) {
            ShellLog(LOG_ERROR, "ExternalConfigLoader::ReadFile: %s is larger than 1 MiB", Narrow(path).c_str());
            return 0;
        }
        bytes.append(chunk, n);
    }
    if (std::ferror(file.get())) return 0;
    ParseConfigText(m_list, plat::text::BytesToWide(CP_ACP, bytes, true));
    return 1;
}

void LoadExternalConfigs(CSettingsStore& store, const char16_t* firstName, const char16_t* secondName) {
    constexpr size_t kUrlChars = 256;
    ExternalConfigLoader loader;
    const std::u16string& global = GetGlobalConfigUrl();
    if (!global.empty()) {
        ShellLog(LOG_TRACE, "LoadExternalConfigs: Load Config (%s)", Narrow(global).c_str());
        loader.Load(global);
    }
    loader.Apply(store);
    if (store.HasValue(SETTING_EXTRA_CONFIG_URL)) loader.Load(store.GetString(SETTING_EXTRA_CONFIG_URL));
    const struct {
        const char16_t* name;
        int setting;
    } templates[] = {{firstName, SETTING_CONFIG_URL_TEMPLATE_1}, {secondName, SETTING_CONFIG_URL_TEMPLATE_2}};
    for (const auto& t : templates) {
        if (!t.name || !store.HasValue(t.setting)) continue;
        if (auto url = FormatTemplate(store.GetString(t.setting), t.name, kUrlChars)) loader.Load(*url);
        else ShellLog(LOG_ERROR, "LoadExternalConfigs: the address of %s is too long", Narrow(t.name).c_str());
    }
    loader.Apply(store);
}
