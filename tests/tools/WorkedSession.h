// The worked session of docs/PROTOCOL.md, read out of the document so the
// reference cannot drift from what the tool and the device program answer.
// The notation is the document's own (its section "A worked session").
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace workedsession {

// \xHH, \\, \r, \n and \t; every other byte stands for itself.
inline bool Unescape(const std::string& text, std::string& out, std::string& error) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return error = "a lone backslash ends the line", false;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'x': {
            const std::string hex = text.substr(i + 1, 2);
            if (hex.size() != 2 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return error = "\\x needs two hex digits", false;
            out += static_cast<char>(std::stoi(hex, nullptr, 16));
            i += 2;
            break;
        }
        default: return error = std::string("unknown escape \\") + text[i], false;
        }
    }
    return true;
}

// A packet as the client frames it: mode 0 in segments of at most 100 bytes.
inline std::string Frame(int mode, const std::string& payload) {
    if (mode != 0) return "\x02" + std::to_string(payload.size()) + "\x03" + payload + "\x17";
    std::string out;
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(100, payload.size() - at);
        out += "\x02" + std::string(1, char(n)) + "\x03" + payload.substr(at, n);
        at += n;
        out += at < payload.size() ? '\x03' : '\x17';
    } while (at < payload.size());
    return out;
}

struct Step {
    enum Kind { Send, Expect, UserText, UserKey, UserTap } kind;
    int mode = 0;            // the framing in force
    bool deviceOnly = false;
    std::string bytes;       // payload (Expect: a pattern), or the typed text
    int number = 0;          // key code or widget id
};

struct Session {
    std::vector<Step> steps;
    std::string error;  // empty when the document's example parsed
};

// A '{name}' of the pattern stands for one or more bytes, none 0xFB-0xFF.
inline bool Matches(const std::string& pattern, const std::string& payload) {
    size_t p = 0, at = 0;
    while (p < pattern.size()) {
        if (pattern[p] == '{') {
            const size_t close = pattern.find('}', p);
            if (close == std::string::npos) return false;
            p = close + 1;
            const size_t from = at;
            while (at < payload.size() && static_cast<unsigned char>(payload[at]) < 0xFB) ++at;
            if (at == from) return false;
            continue;
        }
        if (at >= payload.size() || payload[at] != pattern[p]) return false;
        ++p, ++at;
    }
    return at == payload.size();
}

inline std::string Hex(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (unsigned char c : bytes) {
        snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", c);
        out += buf;
    }
    return out;
}

// The steps of the document's "```session" block; each '=' line must be the
// framed bytes of the packet above it.
inline Session Read(const char* document) {
    Session s;
    std::ifstream in(document);
    if (!in) return s.error = std::string("cannot read ") + document, s;
    std::string line;
    bool inside = false;
    int mode = 0;
    std::string lastPacket;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!inside) {
            inside = line == "```session";
            continue;
        }
        if (line == "```") return s;
        const std::string where = "PROTOCOL.md line " + std::to_string(number) + ": ";
        if (line.empty() || line[0] == '#') continue;
        Step step{};
        if (line.rfind("device ", 0) == 0) {
            step.deviceOnly = true;
            line.erase(0, 7);
        }
        step.mode = mode;
        if (line == "mode 0" || line == "mode 1") {
            mode = line[5] - '0';
            continue;
        }
        if (line.rfind("= ", 0) == 0) {
            if (Hex(Frame(mode, lastPacket)) != line.substr(2))
                return s.error = where + "the framed bytes are " + Hex(Frame(mode, lastPacket)), s;
            continue;
        }
        if (line.rfind("user text ", 0) == 0) {
            step.kind = Step::UserText;
            step.bytes = line.substr(10);
        } else if (line.rfind("user key ", 0) == 0 || line.rfind("user tap ", 0) == 0) {
            step.kind = line[5] == 'k' ? Step::UserKey : Step::UserTap;
            step.number = std::atoi(line.c_str() + 9);
        } else if (line.rfind("> ", 0) == 0 || line.rfind("< ", 0) == 0) {
            step.kind = line[0] == '>' ? Step::Send : Step::Expect;
            if (!Unescape(line.substr(2), step.bytes, s.error)) return s.error = where + s.error, s;
            lastPacket = step.bytes;
        } else {
            return s.error = where + "not a line of the notation", s;
        }
        s.steps.push_back(step);
    }
    s.error = inside ? "the session block is not closed" : "no ```session block";
    return s;
}

}  // namespace workedsession
