// scorivo-cli folders: where the teacher's files and the shipped data are,
// and copying the teacher's files from the folder of an older build.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Command.h"
#include "platform/AppFolders.h"
#include "platform/Files.h"

std::filesystem::path cli::UserFolder()
{
    files::FolderSetup setup = files::SetUpFolders();
    if (!setup.error.empty())
        std::fprintf(stderr, "%s\n", setup.error.c_str());
    return setup.folders.user;
}

namespace {

int Folders(const std::vector<std::string>& args)
{
    auto o = cli::ParseOptions(args, {"--copy-from"}, {});
    if (o.error.empty() && !o.positional.empty())
        o.error = "unexpected argument " + o.positional[0];
    if (!o.error.empty()) {
        std::fprintf(stderr, "scorivo-cli folders: %s\n", o.error.c_str());
        return 2;
    }
    files::FolderSetup setup = files::SetUpFolders();
    if (!setup.error.empty())
        std::fprintf(stderr, "%s\n", setup.error.c_str());
    std::printf("user %s\nshipped %s\n", files::ToUtf8(setup.folders.user).c_str(),
                files::ToUtf8(setup.folders.shipped).c_str());
    if (!o.Has("--copy-from"))
        return setup.error.empty() ? 0 : 1;

    const std::filesystem::path older = files::FromUtf8(o.Get("--copy-from"));
    const std::vector<std::filesystem::path> found = files::FindOlderFiles(older, setup.folders);
    const std::vector<std::filesystem::path> failed = files::CopyOlderFiles(older, found, setup.folders);
    for (const std::filesystem::path& relative : found) {
        bool copied = true;
        for (const std::filesystem::path& f : failed)
            copied = copied && f != relative;
        std::printf("%s %s\n", copied ? "copied" : "not-copied", files::ToUtf8(relative).c_str());
    }
    return failed.empty() ? 0 : 1;
}

const cli::CommandRegistrar registerFolders(
    "folders",
    "folders [--copy-from OLDER_PROGRAM_FOLDER]   (prints the user's and the shipped folder; copies the teacher's "
    "files of an older build, never overwriting or deleting)",
    Folders);

} // namespace
