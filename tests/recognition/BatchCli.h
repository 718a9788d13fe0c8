#pragma once
// Runs scorivo-cli from the build folder and splits its output into lines.

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace batch_test {

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

struct CliRun {
    int status = -1;
    std::vector<std::string> lines;  // standard output
    std::string errors;              // standard error
};

inline std::vector<std::string> SplitLines(const std::string& out)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        lines.push_back(out.substr(start, end - start));
        start = end == std::string::npos ? out.size() : end + 1;
    }
    return lines;
}

// `before` goes ahead of the command for the shell: "NAME=value " or "ulimit -f N; ".
inline CliRun RunCli(const std::string& arguments, const std::string& before = {})
{
    TempDir errDir;
    const std::string errFile = (errDir / "stderr.txt").string();
    std::string command = before + Quote(std::string(SCORIVO_BINARY_DIR) + "/scorivo-cli") + " " + arguments +
                          " 2>" + Quote(errFile);
    CliRun r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe))
        out.append(buf, n);
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.lines = SplitLines(out);
    if (FILE* f = std::fopen(errFile.c_str(), "rb")) {
        while (std::size_t n = std::fread(buf, 1, sizeof buf, f))
            r.errors.append(buf, n);
        std::fclose(f);
    }
    return r;
}

inline std::string ShippedRosterFile() { return std::string(SCORIVO_BINARY_DIR) + "/学生信息文件/测试.xs"; }

} // namespace batch_test
