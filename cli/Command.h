#pragma once
// scorivo-cli sub-commands register themselves here; each lives in its own
// file (cli/Cmd*.cpp) so that adding one never touches the others.

#include <string>
#include <vector>

namespace cli {

// args excludes the program name and the command word(s).
using CommandFn = int (*)(const std::vector<std::string>& args);

struct CommandRegistrar {
    // `name` may be two words ("session new").
    CommandRegistrar(const char* name, const char* usage, CommandFn fn);
};

// Writes `text` to standard output now (a line a script may be waiting
// for). A failure is remembered with its reason for the exit status.
void PrintNow(const std::string& text);

} // namespace cli
