// scorivo-cli: the marking engine without a window.
#include <cerrno>
#include <cstdio>
#include <cstring>
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

// The reason of the first failed write of standard output; 0 while none failed.
static int firstOutputError = 0;

void PrintNow(const std::string& text)
{
    errno = 0;
    if ((std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) && firstOutputError == 0)
        firstOutputError = errno ? errno : EIO;
}

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

// Standard output is what scripts read (the JSON lines, the files written):
// a full disk or a closed pipe that cut it short must not pass for success.
static int FinishOutput(int code)
{
    cli::PrintNow({});
    if (cli::firstOutputError == 0 && !std::ferror(stdout))
        return code;
    const int why = cli::firstOutputError ? cli::firstOutputError : EIO;
    std::fprintf(stderr, "scorivo-cli: 标准输出没有写完（%s），输出不完整。\n", std::strerror(why));
    return 1;
}

static int Run(const std::vector<std::string>& args)
{
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

int main(int argc, char** argv)
{
    return FinishOutput(Run(std::vector<std::string>(argv + 1, argv + argc)));
}
