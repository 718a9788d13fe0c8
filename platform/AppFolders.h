#pragma once
// Where the program's folders are: the teacher's own files (raw files,
// pictures, score output, rosters, designed cards, settings) and the shipped,
// read-only data (templates, the demo roster, help, sounds, printable cards).
#include <filesystem>
#include <string>
#include <vector>

namespace files {

struct AppFolders {
    std::filesystem::path user;     // written by the program
    std::filesystem::path shipped;  // only read; the same as `user` in one-folder layouts
    bool oneFolder = false;         // $SCORIVO_HOME, or data beside the binary (a build tree)
};

// What decides the layout, taken from the process so tests can give their own.
struct FolderEnvironment {
    std::string scorivoHome;         // $SCORIVO_HOME
    std::string xdgDataHome;         // $XDG_DATA_HOME
    std::string home;                // $HOME
    std::filesystem::path binaryFolder;
};
FolderEnvironment CurrentFolderEnvironment();

// $SCORIVO_HOME holds everything when set. A binary with "模板文件" beside it
// (the build tree, or an older build unpacked with its data) keeps its own
// folder for everything. Otherwise the binary is installed: the user's
// folders are $XDG_DATA_HOME/scorivo (~/.local/share/scorivo) and the shipped
// data is ../share/scorivo from the binary.
AppFolders LocateFolders(const FolderEnvironment& env);

// The one call at start, for the window and the command line alike: locates
// the folders, makes the user's folders that are missing, and puts the shipped
// templates and rosters beside the user's own (as links, so an updated
// package is seen; saving over one writes the user's own copy). Empty error
// when all went well.
struct FolderSetup {
    AppFolders folders;
    std::string error;
};
FolderSetup SetUpFolders();
FolderSetup SetUpFolders(const FolderEnvironment& env);

// The teacher's files in a folder an older build ran from, relative to it:
// raw files, pictures, score output, printable sheets of designed cards,
// rosters and templates that did not ship with the program, and the settings
// files. Files the target already holds with the same size are left out, so
// a second look after copying finds nothing.
std::vector<std::filesystem::path> FindOlderFiles(const std::filesystem::path& olderFolder,
                                                  const AppFolders& target);

// Copies those files into the user's folders; never overwrites and never
// deletes. Returns the files that could not be copied (empty: all done).
std::vector<std::filesystem::path> CopyOlderFiles(const std::filesystem::path& olderFolder,
                                                  const std::vector<std::filesystem::path>& files,
                                                  const AppFolders& target);

} // namespace files
