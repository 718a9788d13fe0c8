// The file layer under everything the program saves and reads: links, modes,
// pipes, interrupted saves and the lock two marking runs share.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Files.h"
#include "support/TempDir.h"

namespace {

mode_t ModeOf(const std::filesystem::path& p)
{
    struct stat st{};
    EXPECT_EQ(::stat(p.c_str(), &st), 0);
    return st.st_mode & 07777;
}

TEST(Files, SavingThroughASymbolicLinkKeepsTheLinkAndWritesItsTarget)
{
    TempDir dir;
    std::filesystem::create_directories(dir / "real");
    const auto target = dir / "real" / "期中.yj";
    ASSERT_TRUE(files::WriteAll(target, "old"));
    const auto link = dir / "期中.yj";
    std::filesystem::create_symlink("real/期中.yj", link);

    std::string error;
    ASSERT_TRUE(files::WriteAtomic(link, "new", &error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(files::ReadAll(target), "new");
    EXPECT_EQ(files::ReadAll(link), "new");
}

TEST(Files, SavingKeepsTheModeAndRefusesAReadOnlyFile)
{
    TempDir dir;
    const auto file = dir / "a.yj";
    ASSERT_TRUE(files::WriteAll(file, "one"));
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    ASSERT_TRUE(files::WriteAtomic(file, "two"));
    EXPECT_EQ(ModeOf(file), 0600u);

    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    std::string error;
    EXPECT_FALSE(files::WriteAtomic(file, "three", &error));
    EXPECT_EQ(error, "文件是只读的，没有保存");
    EXPECT_EQ(files::ReadAll(file), "two");
    EXPECT_EQ(ModeOf(file), 0444u);

    // A new file gets the usual mode.
    ASSERT_TRUE(files::WriteAtomic(dir / "b.yj", "x"));
    EXPECT_EQ(ModeOf(dir / "b.yj"), 0644u);
}

// A teacher's session saved once by root (a helper running the batch) became
// root's, and the teacher's next save was refused as read-only.
TEST(Files, SavingAsAnotherUserKeepsTheOwnerAndGroup)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a file another user's";
    TempDir dir;
    const auto file = dir / "s.yj";
    ASSERT_TRUE(files::WriteAll(file, "teacher's"));
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0664), 0);
    ASSERT_TRUE(files::WriteAtomic(file, "saved by root"));
    struct stat st{};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(files::ReadAll(file), "saved by root");
}

TEST(Files, ANamedPipeIsRefusedWithoutWaiting)
{
    TempDir dir;
    const auto fifo = dir / "YJSet.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // Without a writer a blocking read would never return: run it in a child
    // that the test can outlive.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string error;
        const bool refused = !files::ReadAll(fifo, &error) && error.find("不是普通文件") != std::string::npos;
        ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    for (int i = 0; i < 500 && ::waitpid(child, &status, WNOHANG) == 0; ++i)
        ::usleep(10000);
    if (::waitpid(child, &status, WNOHANG) == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "reading a named pipe blocked";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::string error;
    EXPECT_FALSE(files::WriteAtomic(fifo, "x", &error));
    EXPECT_FALSE(files::ReadAll(dir.path(), &error));  // a folder is no file either, and is named so
    EXPECT_EQ(error, "是文件夹，不是文件，不能读取");
}

TEST(Files, StaleTemporariesOfOneFileAreRemovedAndNothingElse)
{
    TempDir dir;
    const auto file = dir / "期中.yj";
    ASSERT_TRUE(files::WriteAll(file, "kept"));
    for (const char* name : {"期中.yj.tmpAbC123", "期中.yj.tmpzzzzzz"})
        ASSERT_TRUE(files::WriteAll(dir / files::FromUtf8(name), "half"));
    for (const char* name : {"期中.yj.tmp", "期中.yj.tmpAbC1234", "其他.yj.tmpAbC123", "期中.yj.bak"})
        ASSERT_TRUE(files::WriteAll(dir / files::FromUtf8(name), "other"));

    EXPECT_EQ(files::RemoveStaleTemporaries(file), 2);
    int left = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++left;
    EXPECT_EQ(left, 5);
    EXPECT_EQ(files::ReadAll(file), "kept");
}

TEST(Files, TheLockIsExclusiveAndFollowsTheFileNotItsInode)
{
    TempDir dir;
    const auto file = dir / "a.yj";
    ASSERT_TRUE(files::WriteAll(file, "x"));
    files::FileLock first;
    ASSERT_TRUE(first.TryLock(file));

    // Saving replaces the file by a new inode; the lock must still hold.
    ASSERT_TRUE(files::WriteAtomic(file, "y"));
    files::FileLock second;
    std::string error;
    EXPECT_FALSE(second.TryLock(file, &error));
    EXPECT_NE(error.find("正被另一个程序"), std::string::npos);

    // Through a link it is the same file, so the same lock.
    std::filesystem::create_symlink("a.yj", dir / "link.yj");
    EXPECT_FALSE(second.TryLock(dir / "link.yj"));

    first.Release();
    EXPECT_TRUE(second.TryLock(file));
    EXPECT_TRUE(std::filesystem::exists(files::FileLock::LockFileFor(file)));
    EXPECT_EQ(files::FileLock::LockFileFor(file).filename(), ".a.yj.lock");
}

} // namespace
