#include "platform/find_files.h"

#include "platform/file_errors.h"
#include "tests/support/without_file_capabilities.h"

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
    void TearDown() override
    {
        std::system(("chmod -R u+rwx '" + m_folder + "'; rm -rf '" + m_folder + "'").c_str());
    }

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
}

// A folder that is there but cannot be listed, or whose entries cannot be looked at, is no
// empty folder: the error names it and the reason, unless the caller takes it as empty. A link
// to a file we may not look at is merely left out.
TEST_F(FindMatchingFiles, UnreadableFolderIsAnErrorNamingIt)
{
    const testing_support::WithoutFileCapabilities asUser;
    if (geteuid() == 0 && !asUser.active())
        GTEST_SKIP() << "root reads any folder, and its capabilities cannot be dropped here";
    struct Case {
        const char *folder;
        mode_t mode;
        int error;
    };
    for (const Case &c : { Case { "unlistable", 0300, EACCES },
             Case { "unsearchable", 0600, EACCES }, Case { "a-file", 0, ENOTDIR } }) {
        const std::string folder = m_folder + "/" + c.folder;
        if (c.mode) {
            ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
            std::ofstream(folder + "/p.jpg") << "x";
            ASSERT_EQ(chmod(folder.c_str(), c.mode), 0);
        } else {
            touch(c.folder);
        }
        try {
            platform::FindMatchingFiles(folder + "/*.jpg");
            ADD_FAILURE() << c.folder << " listed";
        } catch (const platform::EFOpenError &error) {
            EXPECT_EQ(error.what(), "Cannot open file " + folder);
            EXPECT_EQ(error.systemError(), c.error) << c.folder;
        }
        EXPECT_TRUE(platform::FindMatchingFiles(
            folder + "/*.jpg", platform::UnreadableFolder::AsEmpty).empty());
    }

    ASSERT_EQ(mkdir((m_folder + "/closed").c_str(), 0700), 0);
    touch("closed/secret.jpg");
    ASSERT_EQ(chmod((m_folder + "/closed").c_str(), 0), 0);
    ASSERT_EQ(symlink("closed/secret.jpg", (m_folder + "/link.jpg").c_str()), 0);
    touch("open.jpg");
    EXPECT_EQ(platform::FindMatchingFiles(m_folder + "/*.jpg"),
        std::vector<std::string> { "open.jpg" });
}

TEST_F(FindMatchingFiles, FolderTextEndingInSlashStillWorks)
{
    touch("p.jpg");
    EXPECT_EQ(platform::FindMatchingFiles(m_folder + "//*.jpg"), std::vector<std::string>{"p.jpg"});
}

} // namespace
