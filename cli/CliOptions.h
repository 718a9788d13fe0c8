#pragma once
// Option parsing and JSON output shared by the scorivo-cli commands.

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Gbk.h"

namespace cli {

// "--name value" pairs, "--flag" switches and the remaining positional words.
struct ParsedOptions {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    std::vector<std::string> positional;
    std::string error;  // set when an option is unknown or lacks its value

    bool Has(const std::string& name) const { return values.count(name) != 0; }
    std::string Get(const std::string& name, std::string fallback = {}) const
    {
        auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
};

inline ParsedOptions ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& withValue,
                                  const std::set<std::string>& switches)
{
    ParsedOptions p;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0 || a == "--") {
            p.positional.push_back(a);
            continue;
        }
        if (switches.count(a)) {
            p.flags.insert(a);
        } else if (withValue.count(a)) {
            if (i + 1 >= args.size()) {
                p.error = "option " + a + " needs a value";
                return p;
            }
            p.values[a] = args[++i];
        } else {
            p.error = "unknown option " + a;
            return p;
        }
    }
    return p;
}

// True when `s` is well-formed UTF-8 (no overlong forms, surrogates or code
// points above U+10FFFF).
inline bool IsUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // the second byte's range
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > s.size())
            return false;
        const auto second = static_cast<unsigned char>(s[i + 1]);
        if (second < low || second > high)
            return false;
        for (std::size_t k = 2; k < length; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

// A JSON string literal of a text, always valid JSON. Texts are UTF-8, but a
// file name is whatever bytes its folder holds: one that is not UTF-8 (GBK
// from a Windows disk, most likely here) is given as its GBK reading, and
// bytes that neither encoding reads as U+FFFD, so that every line parses.
inline std::string JsonString(std::string_view s)
{
    const std::string text = IsUtf8(s) ? std::string(s) : gbk::ToUtf8(s);
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

// The folder of the teacher's files, set up as the window sets it up (a
// problem is said on stderr); the commands that read templates or write
// pictures and scores use it.
std::filesystem::path UserFolder();

} // namespace cli
