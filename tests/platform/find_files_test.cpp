#include "platform/find_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

class FindMatchingFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/lumivor-find-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + m_folder + "'").c_str()); }

    void touch(const std::string &name) { std::ofstream(m_folder + "/" + name) << "x"; }

    std::string m_folder;
};

TEST(MatchesMask, LettersIgnoreCaseOtherBytesDoNot)
{
    EXPECT_TRUE(platform::MatchesMask("PHOTO.JPG", "*.jpg"));
    EXPECT_TRUE(platform::MatchesMask("x.Jpg", "*.jpg"));
    EXPECT_TRUE(platform::MatchesMask(".jpg", "*.jpg"));
    EXPECT_TRUE(platform::MatchesMask("a.b.jpg", "*.jpg"));
    EXPECT_TRUE(platform::MatchesMask("abc", "a?c"));
    EXPECT_FALSE(platform::MatchesMask("photo.jpeg", "*.jpg"));
    EXPECT_FALSE(platform::MatchesMask("photo.jpg.bak", "*.jpg"));
    EXPECT_FALSE(platform::MatchesMask("photo\xC3\xA9.jpg", "*\xC3\x89.jpg"));
}

// Only regular, visible files that match are listed, sorted, whatever the order on disk.
TEST_F(FindMatchingFiles, ListsMatchingRegularVisibleFilesSorted)
{
    for (const char *name : {"b.jpg", "A.JPG", "c.Jpg", "notes.txt", ".hidden.jpg", "\xff\xfe.jpg"})
        touch(name);
    ASSERT_EQ(mkdir((m_folder + "/folder.jpg").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((m_folder + "/pipe.jpg").c_str(), 0644), 0);
    ASSERT_EQ(symlink("missing", (m_folder + "/dangling.jpg").c_str()), 0);
    ASSERT_EQ(symlink("b.jpg", (m_folder + "/link.jpg").c_str()), 0);

    const std::vector<std::string> expected{"A.JPG", "b.jpg", "c.Jpg", "link.jpg", "\xff\xfe.jpg"};
    EXPECT_EQ(platform::FindMatchingFiles(m_folder + "/*.jpg"), expected);
}

TEST_F(FindMatchingFiles, MissingOrEmptyFolderGivesNothing)
{
    EXPECT_TRUE(platform::FindMatchingFiles(m_folder + "/*.jpg").empty());
    EXPECT_TRUE(platform::FindMatchingFiles(m_folder + "/missing/*.jpg").empty());
    touch("file");
    EXPECT_TRUE(platform::FindMatchingFiles(m_folder + "/file/*.jpg").empty());
}

TEST_F(FindMatchingFiles, FolderTextEndingInSlashStillWorks)
{
    touch("p.jpg");
    EXPECT_EQ(platform::FindMatchingFiles(m_folder + "//*.jpg"), std::vector<std::string>{"p.jpg"});
}

} // namespace
