#include "platform/AppFolders.h"

#include <cstdlib>

#include "platform/Files.h"

namespace fs = std::filesystem;

namespace files {

// The folders the teacher's work goes into; "答题卡" holds the printable
// sheets of cards made with the designer.
static const char* const kUserFolders[] = {"模板文件", "学生信息文件", "阅卷原始文件", "原始图片", "成绩输出", "答题卡"};
// Shipped files shown beside the user's own, in these folders.
static const char* const kMergedFolders[] = {"模板文件", "学生信息文件"};
// Files the whole of which belong to the teacher, in any older folder.
static const char* const kOwnFolders[] = {"阅卷原始文件", "原始图片", "成绩输出", "答题卡"};
static const char* const kSettingsFiles[] = {"YJSet.dat", "base.dat", "biaoji.bj", "ncm.set"};

static std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

FolderEnvironment CurrentFolderEnvironment()
{
    FolderEnvironment env;
    env.scorivoHome = Env("SCORIVO_HOME");
    env.xdgDataHome = Env("XDG_DATA_HOME");
    env.home = Env("HOME");
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    env.binaryFolder = ec ? fs::current_path(ec) : exe.parent_path();
    return env;
}

AppFolders LocateFolders(const FolderEnvironment& env)
{
    AppFolders folders;
    if (!env.scorivoHome.empty()) {
        folders.user = folders.shipped = fs::path(env.scorivoHome);
        folders.oneFolder = true;
        return folders;
    }
    std::error_code ec;
    if (fs::is_directory(env.binaryFolder / FromUtf8("模板文件"), ec)) {
        folders.user = folders.shipped = env.binaryFolder;
        folders.oneFolder = true;
        return folders;
    }
    // XDG: a relative $XDG_DATA_HOME is invalid and is ignored.
    fs::path data = env.xdgDataHome.empty() ? fs::path() : fs::path(env.xdgDataHome);
    if (data.empty() || data.is_relative())
        data = fs::path(env.home.empty() ? "/" : env.home) / ".local" / "share";
    folders.user = data / "scorivo";
    folders.shipped = (env.binaryFolder.parent_path() / "share" / "scorivo").lexically_normal();
    return folders;
}

// A link of ours whose shipped file went away (the package removed or the
// file renamed) is dropped; anything else already there is the teacher's.
static void LinkShippedFiles(const fs::path& shippedFolder, const fs::path& userFolder, std::string& error)
{
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(userFolder, ec)) {
        std::error_code linkEc;
        if (!entry.is_symlink(linkEc))
            continue;
        const fs::path target = fs::read_symlink(entry.path(), linkEc);
        if (!linkEc && target.parent_path() == shippedFolder && !fs::exists(entry.path(), linkEc))
            fs::remove(entry.path(), linkEc);
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(shippedFolder, ec)) {
        std::error_code fileEc;
        if (!entry.is_regular_file(fileEc) || entry.path().filename().string().starts_with('.'))
            continue;
        const fs::path link = userFolder / entry.path().filename();
        if (fs::exists(fs::symlink_status(link, fileEc)))
            continue;
        fs::create_symlink(entry.path(), link, fileEc);
        if (fileEc && error.empty())
            error = "无法在 " + ToUtf8(userFolder) + " 中放入随程序提供的文件：" + fileEc.message();
    }
}

FolderSetup SetUpFolders(const FolderEnvironment& env)
{
    FolderSetup setup;
    setup.folders = LocateFolders(env);
    const AppFolders& f = setup.folders;
    for (const char* name : kUserFolders) {
        std::error_code ec;
        fs::create_directories(f.user / FromUtf8(name), ec);
        if (ec && setup.error.empty())
            setup.error = "无法建立文件夹 " + ToUtf8(f.user / FromUtf8(name)) + "：" + ec.message();
    }
    if (!f.oneFolder) {
        for (const char* name : kMergedFolders)
            LinkShippedFiles(f.shipped / FromUtf8(name), f.user / FromUtf8(name), setup.error);
        // The printable shipped cards, where the card chooser prints them from.
        std::error_code ec;
        const fs::path sheet = f.user / FromUtf8("答题卡.pdf");
        if (!fs::exists(fs::symlink_status(sheet, ec)))
            fs::create_symlink(f.shipped / FromUtf8("答题卡.pdf"), sheet, ec);
    }
    return setup;
}

FolderSetup SetUpFolders()
{
    return SetUpFolders(CurrentFolderEnvironment());
}

static bool AlreadyThere(const fs::path& from, const fs::path& to)
{
    std::error_code ec;
    return fs::exists(to, ec) && fs::file_size(to, ec) == fs::file_size(from, ec) && !ec;
}

std::vector<fs::path> FindOlderFiles(const fs::path& olderFolder, const AppFolders& target)
{
    std::vector<fs::path> found;
    std::error_code ec;
    if (fs::equivalent(olderFolder, target.user, ec))
        return found;
    auto consider = [&](const fs::path& relative) {
        if (!AlreadyThere(olderFolder / relative, target.user / relative))
            found.push_back(relative);
    };
    for (const char* name : kOwnFolders) {
        const fs::path folder = olderFolder / FromUtf8(name);
        for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            std::error_code fileEc;
            if (it->is_regular_file(fileEc))
                consider(it->path().lexically_relative(olderFolder));
        }
        ec.clear();
    }
    // A roster or template is the teacher's unless one of that name ships.
    for (const char* name : kMergedFolders) {
        const fs::path folder = olderFolder / FromUtf8(name);
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
            std::error_code fileEc;
            const fs::path relative = FromUtf8(name) / entry.path().filename();
            if (entry.is_regular_file(fileEc) && !entry.is_symlink(fileEc) &&
                !fs::exists(target.shipped / relative, fileEc))
                consider(relative);
        }
        ec.clear();
    }
    for (const char* name : kSettingsFiles) {
        std::error_code fileEc;
        if (fs::is_regular_file(olderFolder / name, fileEc))
            consider(name);
    }
    return found;
}

std::vector<fs::path> CopyOlderFiles(const fs::path& olderFolder, const std::vector<fs::path>& files,
                                     const AppFolders& target)
{
    std::vector<fs::path> failed;
    for (const fs::path& relative : files) {
        const fs::path to = target.user / relative;
        std::error_code ec;
        // A different file of that name already here is the teacher's too.
        if (fs::exists(fs::symlink_status(to, ec)) && !AlreadyThere(olderFolder / relative, to)) {
            failed.push_back(relative);
            continue;
        }
        fs::create_directories(to.parent_path(), ec);
        fs::copy_file(olderFolder / relative, to, fs::copy_options::skip_existing, ec);
        if (ec || !fs::exists(to, ec))
            failed.push_back(relative);
    }
    return failed;
}

} // namespace files
