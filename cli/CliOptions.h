#pragma once
// Option parsing and JSON output shared by the scorivo-cli commands.

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

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

// A JSON string literal of UTF-8 text.
inline std::string JsonString(std::string_view s)
{
    std::string out = "\"";
    for (char c : s) {
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
