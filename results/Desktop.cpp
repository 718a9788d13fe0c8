#include "results/Desktop.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"

extern char** environ;

namespace {

// Starts `argv` without a shell; a detached thread reaps it so that a
// program that keeps running neither blocks the caller nor leaves a zombie.
bool Spawn(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return false;
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

bool OnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::string all = path;
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t end = all.find(':', start);
        std::string dir = all.substr(start, end - start);
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0)
            return true;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return false;
}

std::string MimeTypeOf(const std::filesystem::path& file)
{
    std::string ext = file.extension().string();
    for (char& c : ext)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (ext == ".xlsx")
        return kXlsxMimeType;
    if (ext == ".csv")
        return "text/csv";
    return "text/plain";
}

} // namespace

std::string SystemDesktop::DefaultApplication(const std::string& mimeType)
{
    // The MIME type is one of our own constants, never user text.
    std::string command = "xdg-mime query default '" + mimeType + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {};
    std::string out;
    char buf[256];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe))
        out.append(buf, n);
    pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out;
}

bool SystemDesktop::CanOpenSpreadsheets() { return !DefaultApplication(kXlsxMimeType).empty(); }

bool SystemDesktop::OpenWithSpreadsheetProgram(const std::filesystem::path& file)
{
    if (DefaultApplication(MimeTypeOf(file)).empty())
        return false;
    return Spawn({"xdg-open", files::ToUtf8(file)});
}

bool SystemDesktop::OpenWithTextEditor(const std::filesystem::path& file)
{
    for (const char* editor : {"gnome-text-editor", "gedit", "kate", "kwrite", "mousepad", "xed", "pluma",
                               "featherpad", "leafpad", "geany"}) {
        if (OnPath(editor))
            return Spawn({editor, files::ToUtf8(file)});
    }
    return false;
}
