#include "platform/folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class Folders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/lumivor-folders-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
        platform::SetCurrentDir(m_folder);
    }
    void TearDown() override
    {
        platform::SetCurrentDir(m_saved);
        std::system(("rm -rf '" + m_folder + "'").c_str());
    }
    void touch(const std::string &name) { std::ofstream(m_folder + "/" + name) << "x"; }

    const std::string m_saved = platform::GetCurrentDir();
    std::string m_folder;
};

// A failed entry names the folder and leaves the current folder where it was.
TEST_F(Folders, FailedEntryKeepsTheCurrentFolder)
{
    touch("file");
    for (const std::string bad : { "missing", "file", "file/x" }) {
        try {
            platform::SetCurrentDir(m_folder + "/" + bad);
            ADD_FAILURE() << "entered " << bad;
        } catch (const platform::EInOutError &error) {
            EXPECT_NE(std::string(error.what()).find(m_folder + "/" + bad), std::string::npos);
        }
        EXPECT_EQ(platform::GetCurrentDir(), m_folder);
    }
}

// Folder views need somewhere to start when the folder they left behind was removed.
TEST_F(Folders, EnsureCurrentDirLeavesOnlyARemovedFolder)
{
    ASSERT_EQ(mkdir((m_folder + "/doomed").c_str(), 0755), 0);
    platform::SetCurrentDir(m_folder + "/doomed");
    platform::EnsureCurrentDir();
    EXPECT_EQ(platform::GetCurrentDir(), m_folder + "/doomed");
    ASSERT_EQ(rmdir((m_folder + "/doomed").c_str()), 0);
    EXPECT_THROW(platform::GetCurrentDir(), platform::EInOutError);
    platform::EnsureCurrentDir();
    EXPECT_EQ(platform::GetCurrentDir(), "/");
}

TEST_F(Folders, CreateFolderPathBuildsEveryLevel)
{
    EXPECT_TRUE(platform::CreateFolderPath(m_folder + "/a/b/c/"));
    EXPECT_TRUE(platform::DirectoryExists(m_folder + "/a/b/c"));
    EXPECT_TRUE(platform::CreateFolderPath("/"));
    EXPECT_TRUE(platform::CreateFolderPath("x")); // relative, even without a "/"
    EXPECT_TRUE(platform::CreateFolderPath("y/z"));
    EXPECT_TRUE(platform::DirectoryExists(m_folder + "/y/z"));

    touch("file");
    EXPECT_FALSE(platform::CreateFolderPath("file/sub"));
    try {
        platform::CreateFolderPath("");
        ADD_FAILURE() << "no error";
    } catch (const platform::EInOutError &error) {
        EXPECT_STREQ(error.what(), "Unable to create directory");
    }
}

TEST_F(Folders, ExpandFileNameResolvesTextually)
{
    EXPECT_EQ(platform::ExpandFileName("a/./b/../c"), m_folder + "/a/c");
    EXPECT_EQ(platform::ExpandFileName("a/"), m_folder + "/a/");
    EXPECT_EQ(platform::ExpandFileName("//x//y/../../.."), "/");
}

TEST_F(Folders, ListSubfoldersSkipsHiddenAndFilesSortsIgnoringCase)
{
    for (const char *name : { "beta", "Alpha", "alpha2", ".hidden", "Gamma" })
        ASSERT_EQ(mkdir(name, 0755), 0);
    touch("aaa-file");
    ASSERT_EQ(symlink("beta", "delta-link"), 0);
    ASSERT_EQ(symlink("missing", "dangling"), 0);
    const std::vector<std::string> expected { "Alpha", "alpha2", "beta", "delta-link", "Gamma" };
    EXPECT_EQ(platform::ListSubfolders(m_folder), expected);
    EXPECT_TRUE(platform::ListSubfolders(m_folder + "/missing").empty());
}

} // namespace
