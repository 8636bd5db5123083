#include "platform/TempDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Exception.h"
#include "base/FileIo.h"
#include "platform/PlatformTestUtil.h"

namespace tallyhawk {
namespace {

using testing::CScratchFolder;
using testing::ReadFile;
using testing::WriteFile;

class TempDirectoryTest : public ::testing::Test {
protected:
    std::string Folder() const { return scratch / "private"; }
    CPrivateTempDirectory Directory(std::uint32_t firstTick = 4000) {
        return CPrivateTempDirectory(Folder(), [firstTick] { return firstTick; });
    }
    CScratchFolder scratch;
};

TEST_F(TempDirectoryTest, CreatesPrivateFolderAndNamesFilesFromTheCounter) {
    CPrivateTempDirectory directory = Directory(4000);
    std::string path = directory.CreateFile("html");
    EXPECT_EQ(path, Folder() + "/4000.html");
    struct stat st {};
    ASSERT_EQ(stat(Folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // The same tick again: the existing name is skipped.
    EXPECT_EQ(directory.CreateFile("html"), Folder() + "/4001.html");
    EXPECT_EQ(directory.CreateFile("txt"), Folder() + "/4000.txt");
}

TEST_F(TempDirectoryTest, PlantedSymbolicLinkIsNotFollowed) {
    CPrivateTempDirectory directory = Directory(77);
    directory.Prepare();
    std::string target = scratch / "victim";
    WriteFile(target, "precious");
    ASSERT_EQ(symlink(target.c_str(), (Folder() + "/77.html").c_str()), 0);
    // A dangling link is an existing name too.
    ASSERT_EQ(symlink((scratch / "nowhere").c_str(), (Folder() + "/78.html").c_str()), 0);

    std::string path = directory.CreateFile("html");
    EXPECT_EQ(path, Folder() + "/79.html");
    WriteWholeFile(path, "changes");
    EXPECT_EQ(ReadFile(target), "precious");
    EXPECT_FALSE(std::filesystem::exists(scratch / "nowhere"));
    EXPECT_THROW(WriteWholeFile(Folder() + "/77.html", "x"), COsException);
    EXPECT_EQ(ReadFile(target), "precious");
}

TEST_F(TempDirectoryTest, NameSearchIsBounded) {
    CPrivateTempDirectory directory = Directory(0);
    directory.Prepare();
    for (int i = 0; i < CPrivateTempDirectory::kMaxNameAttempts; ++i) {
        WriteFile(Folder() + "/" + std::to_string(i) + ".txt", "");
    }
    try {
        directory.CreateFile("txt");
        FAIL() << "no exception";
    } catch (const COsException& e) {
        EXPECT_EQ(e.Code(), static_cast<std::uint32_t>(EEXIST));
    }
}

TEST_F(TempDirectoryTest, UnusableFolderRaisesInsteadOfSpinning) {
    CPrivateTempDirectory missingParent(scratch / "no/such/folder", [] { return 1u; });
    try {
        missingParent.CreateFile("txt");
        FAIL() << "no exception";
    } catch (const COsException& e) {
        EXPECT_EQ(e.Code(), static_cast<std::uint32_t>(ENOENT));
    }
    WriteFile(Folder(), "a file, not a folder");
    EXPECT_THROW(Directory().CreateFile("txt"), CGenericException);
}

TEST_F(TempDirectoryTest, FolderMustBeThisUsersRealFolder) {
    std::string elsewhere = scratch / "elsewhere";
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
    ASSERT_EQ(symlink(elsewhere.c_str(), Folder().c_str()), 0);
    EXPECT_THROW(Directory().Prepare(), CGenericException);
    ASSERT_EQ(unlink(Folder().c_str()), 0);

    ASSERT_EQ(mkdir(Folder().c_str(), 0777), 0);
    ASSERT_EQ(chmod(Folder().c_str(), 0777), 0);
    EXPECT_EQ(Directory().Prepare(), Folder() + "/");
    struct stat st {};
    ASSERT_EQ(stat(Folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "mode put back";

    if (geteuid() == 0) {
        ASSERT_EQ(chown(Folder().c_str(), 65534, 65534), 0);
        EXPECT_THROW(Directory().Prepare(), CGenericException) << "owned by another user";
    }
}

TEST_F(TempDirectoryTest, DefaultPathIsPerUserUnderTmpdir) {
    testing::CScopedEnv tmpdir("TMPDIR", "/var/tmp/");
    EXPECT_EQ(CPrivateTempDirectory::DefaultPath(), "/var/tmp/tallyhawk-" + std::to_string(geteuid()));
    testing::CScopedEnv relative("TMPDIR", "relative");
    EXPECT_EQ(CPrivateTempDirectory::DefaultPath(), "/tmp/tallyhawk-" + std::to_string(geteuid()));
}

}  // namespace
}  // namespace tallyhawk
