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
        m_saved = platform::GetCurrentDir();
        char pattern[] = "/tmp/lumivor-folders-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
    }
    void TearDown() override
    {
        platform::SetCurrentDir(m_saved);
        std::system(("rm -rf '" + m_folder + "'").c_str());
    }

    std::string m_saved;
    std::string m_folder;
};

TEST_F(Folders, EnteringFollowsAndFailureKeepsTheCurrentFolder)
{
    platform::SetCurrentDir(m_folder);
    EXPECT_EQ(platform::GetCurrentDir(), m_folder);

    std::ofstream(m_folder + "/file") << "x";
    for (const std::string &bad :
        { m_folder + "/missing", m_folder + "/file", m_folder + "/file/x" }) {
        try {
            platform::SetCurrentDir(bad);
            ADD_FAILURE() << "entered " << bad;
        } catch (const platform::EInOutError &error) {
            EXPECT_NE(std::string(error.what()).find(bad), std::string::npos) << error.what();
        }
        EXPECT_EQ(platform::GetCurrentDir(), m_folder);
    }
}

// Folder views need somewhere to start when the folder they left behind was removed.
TEST_F(Folders, EnsureCurrentDirLeavesARemovedFolder)
{
    const std::string doomed = m_folder + "/doomed";
    ASSERT_EQ(mkdir(doomed.c_str(), 0755), 0);
    platform::SetCurrentDir(doomed);
    platform::EnsureCurrentDir();
    EXPECT_EQ(platform::GetCurrentDir(), doomed);

    ASSERT_EQ(rmdir(doomed.c_str()), 0);
    EXPECT_THROW(platform::GetCurrentDir(), platform::EInOutError);
    platform::EnsureCurrentDir();
    EXPECT_EQ(platform::GetCurrentDir(), "/");
}

TEST_F(Folders, CreateFolderPathBuildsEveryLevel)
{
    EXPECT_TRUE(platform::CreateFolderPath(m_folder + "/a/b/c/"));
    EXPECT_TRUE(platform::DirectoryExists(m_folder + "/a/b/c"));
    EXPECT_TRUE(platform::CreateFolderPath(m_folder + "/a/b")); // exists: nothing to do
    EXPECT_TRUE(platform::CreateFolderPath("/"));

    // Relative paths, including a single name, resolve against the current folder.
    platform::SetCurrentDir(m_folder);
    EXPECT_TRUE(platform::CreateFolderPath("x"));
    EXPECT_TRUE(platform::CreateFolderPath("y/z"));
    EXPECT_TRUE(platform::DirectoryExists(m_folder + "/x"));
    EXPECT_TRUE(platform::DirectoryExists(m_folder + "/y/z"));

    std::ofstream(m_folder + "/file") << "x";
    EXPECT_FALSE(platform::CreateFolderPath(m_folder + "/file/sub"));
    EXPECT_FALSE(platform::DirectoryExists(m_folder + "/file/sub"));
}

TEST_F(Folders, CreateFolderPathRefusesAnEmptyPath)
{
    try {
        platform::CreateFolderPath("");
        FAIL() << "no error";
    } catch (const platform::EInOutError &error) {
        EXPECT_STREQ(error.what(), "Unable to create directory");
    }
}

TEST_F(Folders, ExpandFileNameResolvesTextually)
{
    platform::SetCurrentDir(m_folder);
    EXPECT_EQ(platform::ExpandFileName("a/./b/../c"), m_folder + "/a/c");
    EXPECT_EQ(platform::ExpandFileName("a/"), m_folder + "/a/");
    EXPECT_EQ(platform::ExpandFileName("//x//y"), "/x/y");
    EXPECT_EQ(platform::ExpandFileName("/../.."), "/");
    EXPECT_EQ(platform::ExpandFileName(""), "");
}

TEST_F(Folders, ListSubfoldersSkipsHiddenAndFilesSortsIgnoringCase)
{
    for (const char *name : { "beta", "Alpha", "alpha2", ".hidden", "Gamma" })
        ASSERT_EQ(mkdir((m_folder + "/" + name).c_str(), 0755), 0);
    std::ofstream(m_folder + "/aaa-file") << "x";
    ASSERT_EQ(symlink("beta", (m_folder + "/delta-link").c_str()), 0);
    ASSERT_EQ(symlink("missing", (m_folder + "/dangling").c_str()), 0);

    const std::vector<std::string> expected { "Alpha", "alpha2", "beta", "delta-link", "Gamma" };
    EXPECT_EQ(platform::ListSubfolders(m_folder), expected);
    EXPECT_TRUE(platform::ListSubfolders(m_folder + "/missing").empty());
}

} // namespace
