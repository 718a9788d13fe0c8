// scorivo-cli: the marking engine without a window.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cli/Command.h"

namespace cli {
namespace {
struct Entry {
    std::string usage;
    CommandFn fn;
};
std::map<std::string, Entry>& Registry()
{
    static std::map<std::string, Entry> registry;
    return registry;
}
} // namespace

CommandRegistrar::CommandRegistrar(const char* name, const char* usage, CommandFn fn)
{
    Registry()[name] = Entry{usage, fn};
}
} // namespace cli

static void PrintUsage(std::FILE* out)
{
    std::fputs("usage: scorivo-cli COMMAND [OPTIONS]\n\ncommands:\n", out);
    for (const auto& [name, entry] : cli::Registry())
        std::fprintf(out, "  %s\n", entry.usage.c_str());
}

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        PrintUsage(args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    auto& registry = cli::Registry();
    // Two-word commands first ("session new"), then one word.
    if (args.size() >= 2) {
        if (auto it = registry.find(args[0] + " " + args[1]); it != registry.end())
            return it->second.fn(std::vector<std::string>(args.begin() + 2, args.end()));
    }
    if (auto it = registry.find(args[0]); it != registry.end())
        return it->second.fn(std::vector<std::string>(args.begin() + 1, args.end()));
    std::fprintf(stderr, "scorivo-cli: unknown command \"%s\"\n\n", args[0].c_str());
    PrintUsage(stderr);
    return 2;
}
