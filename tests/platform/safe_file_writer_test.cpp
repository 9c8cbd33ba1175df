// Replacing a photo: only the destination's own name is written, the new version is private
// until it takes that name, and it carries the replaced file's metadata.
#include "platform/safe_file_writer.h"

#include "platform/file_errors.h"
#include "platform/signal_cleanup.h"
#include "tests/support/temp_folder.h"
#include "tests/support/without_file_capabilities.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

using testing_support::namesIn;
using testing_support::TempFolder;
using testing_support::writeText;
using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

std::string readText(const std::string &path)
{
    const Bytes bytes = testing_support::readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

struct stat statusOf(const std::string &path)
{
    struct stat status = {};
    lstat(path.c_str(), &status);
    return status;
}

mode_t newFileMode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The modes of the files this process holds open inside folder (not the folder itself).
std::vector<mode_t> openFileModesIn(const std::string &folder)
{
    std::vector<mode_t> modes;
    for (const std::string &fd : namesIn("/proc/self/fd")) {
        char target[4096];
        const ssize_t length = readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target - 1);
        struct stat status = {};
        if (length > 0 && std::string(target, std::size_t(length)).rfind(folder + "/", 0) == 0
            && fstat(std::stoi(fd), &status) == 0)
            modes.push_back(status.st_mode & 07777);
    }
    return modes;
}

enum class Temporaries { Unnamed, Named };

void PrintTo(Temporaries kind, std::ostream *os)
{
    *os << (kind == Temporaries::Named ? "Named" : "Unnamed");
}

// Every case runs with unnamed temporary files (the file system here has them) and with the
// hidden named ones used where it has not.
class SafeFileWriter : public ::testing::TestWithParam<Temporaries>
{
protected:
    void SetUp() override
    {
        if (GetParam() == Temporaries::Named)
            setenv("LUMIVOR_NAMED_TEMPORARIES", "1", 1);
    }
    void TearDown() override { unsetenv("LUMIVOR_NAMED_TEMPORARIES"); }

    std::string folder(const std::string &name) const
    {
        mkdir(m_root.file(name).c_str(), 0755);
        return m_root.file(name);
    }

    TempFolder m_root;
};

// A link named like the photo is replaced by the photo; what it pointed to, outside the folder
// or a source photo, stays exactly as it was.
TEST_P(SafeFileWriter, LinkInTheDestinationIsReplacedNotFollowed)
{
    const std::string victim = folder("victim"), source = folder("src"), dest = folder("dest");
    writeText(victim + "/settings.conf", "keep=me\n");
    writeText(source + "/b.jpg", "original b");
    ASSERT_EQ(symlink("../victim/settings.conf", (dest + "/a.jpg").c_str()), 0);
    ASSERT_EQ(symlink("../src/b.jpg", (dest + "/b.jpg").c_str()), 0);
    ASSERT_EQ(symlink("../nowhere/c.jpg", (dest + "/c.jpg").c_str()), 0);

    for (const char *name : { "a.jpg", "b.jpg", "c.jpg" })
        platform::replaceFileContents(dest + "/" + name, bytesOf(std::string("new ") + name));

    EXPECT_EQ(readText(victim + "/settings.conf"), "keep=me\n");
    EXPECT_EQ(readText(source + "/b.jpg"), "original b");
    EXPECT_EQ(namesIn(dest), (std::vector<std::string> { "a.jpg", "b.jpg", "c.jpg" }));
    for (const char *name : { "a.jpg", "b.jpg", "c.jpg" }) {
        const struct stat status = statusOf(dest + "/" + name);
        EXPECT_TRUE(S_ISREG(status.st_mode)) << name;
        EXPECT_EQ(status.st_mode & 07777, newFileMode()) << name;
        EXPECT_EQ(readText(dest + "/" + name), std::string("new ") + name);
    }
}

// While written, the new version is open to its owner only and the photo is untouched; dropped,
// it leaves nothing. It may move to another thread and be committed there, keeping the mode.
TEST_P(SafeFileWriter, NewVersionIsPrivateUntilCommittedAndLeavesNothingWithoutIt)
{
    const std::string dest = folder("dest"), photo = dest + "/p.jpg";
    writeText(photo, "old");
    ASSERT_EQ(chmod(photo.c_str(), 0644), 0);
    {
        platform::PendingFile dropped(photo);
        dropped.write(Bytes(100000, 7));
        dropped.flush();
        const std::vector<mode_t> modes = openFileModesIn(dest);
        ASSERT_EQ(modes.size(), 1u);
        EXPECT_EQ(modes[0], 0600u);
        for (const std::string &name : namesIn(dest))
            EXPECT_TRUE(name == "p.jpg"
                || (name[0] == '.' && (statusOf(dest + "/" + name).st_mode & 077) == 0))
                << name;
        EXPECT_EQ(readText(photo), "old");
    }
    EXPECT_EQ(namesIn(dest), std::vector<std::string> { "p.jpg" });

    platform::PendingFile pending(photo);
    pending.write(bytesOf("new"));
    std::thread([moved = std::move(pending)]() mutable { moved.commit(); }).join();
    EXPECT_EQ(readText(photo), "new");
    EXPECT_EQ(statusOf(photo).st_mode & 07777, 0644u);
    EXPECT_EQ(namesIn(dest), std::vector<std::string> { "p.jpg" });
}

// Desktop tags and other extended attributes stay with the photo, as its owner and mode do.
TEST_P(SafeFileWriter, ReplacementKeepsOwnerModeAndExtendedAttributes)
{
    const std::string photo = folder("dest") + "/p.jpg";
    writeText(photo, "old");
    const std::string tags = "holiday,beach";
    const std::string large(3000, 'x');
    if (setxattr(photo.c_str(), "user.xdg.tags", tags.data(), tags.size(), 0) != 0)
        GTEST_SKIP() << "no user extended attributes here: " << std::strerror(errno);
    ASSERT_EQ(setxattr(photo.c_str(), "user.large", large.data(), large.size(), 0), 0);
    const bool trusted = setxattr(photo.c_str(), "trusted.lumivor", "t", 1, 0) == 0;
    const bool otherOwner = geteuid() == 0 && chown(photo.c_str(), 4321, 4322) == 0;
    ASSERT_EQ(chmod(photo.c_str(), 0640), 0);

    platform::replaceFileContents(photo, bytesOf("new"));

    const auto attribute = [&](const char *name) {
        char value[4096];
        const ssize_t size = getxattr(photo.c_str(), name, value, sizeof value);
        return size < 0 ? std::string("(none)") : std::string(value, std::size_t(size));
    };
    EXPECT_EQ(readText(photo), "new");
    EXPECT_EQ(attribute("user.xdg.tags"), tags);
    EXPECT_EQ(attribute("user.large"), large);
    if (trusted) {
        EXPECT_EQ(attribute("trusted.lumivor"), "t");
    }
    const struct stat status = statusOf(photo);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    if (otherOwner) {
        EXPECT_EQ(std::pair(status.st_uid, status.st_gid), std::pair(uid_t(4321), gid_t(4322)));
    }
}

// A photo path of 4,090 bytes, close to the system's limit for one path: created, then replaced.
TEST_P(SafeFileWriter, PathNearTheSystemLimitWorks)
{
    std::string path = m_root.path();
    while (path.size() + 251 + 20 < 4090) {
        path += "/" + std::string(250, 'd');
        ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << std::strerror(errno);
    }
    const std::string folderPath = path;
    path += "/" + std::string(4090 - path.size() - 5, 'p') + ".jpg";
    ASSERT_EQ(path.size(), 4090u);
    platform::replaceFileContents(path, bytesOf("first"));
    platform::replaceFileContents(path, bytesOf("second"));
    EXPECT_EQ(readText(path), "second");
    EXPECT_EQ(namesIn(folderPath).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Temporaries, SafeFileWriter,
    ::testing::Values(Temporaries::Unnamed, Temporaries::Named),
    [](const auto &info) { return info.param == Temporaries::Named ? "Named" : "Unnamed"; });

// What the command line adds to "Cannot create file …": the system's reason, also where the
// writer refuses by itself. The folder and the photos stay as they were.
TEST(SafeFileWriterErrors, CarryTheSystemsReason)
{
    const TempFolder folder;
    const testing_support::WithoutFileCapabilities asUser;
    const std::string root = folder.path();
    writeText(root + "/readonly.jpg", "kept");
    chmod((root + "/readonly.jpg").c_str(), 0444);
    mkdir((root + "/folder.jpg").c_str(), 0755);
    mkdir((root + "/locked").c_str(), 0555);
    struct Case {
        std::string path;
        int error;
    };
    std::vector<Case> cases = { { root + "/missing/x.jpg", ENOENT },
        { root + "/readonly.jpg", EACCES }, { root + "/folder.jpg", EISDIR } };
    if (geteuid() != 0 || asUser.active())
        cases.push_back({ root + "/locked/x.jpg", EACCES });
    for (const Case &c : cases) {
        try {
            platform::replaceFileContents(c.path, bytesOf("new"));
            ADD_FAILURE() << "saved to " << c.path;
        } catch (const platform::EFCreateError &error) {
            EXPECT_EQ(error.what(), "Cannot create file " + c.path);
            EXPECT_EQ(error.systemError(), c.error) << c.path;
        }
    }
    EXPECT_EQ(namesIn(root), (std::vector<std::string> { "folder.jpg", "locked", "readonly.jpg" }));
    EXPECT_EQ(readText(root + "/readonly.jpg"), "kept");
}

// Within a destination folder, every folder on the way is entered without following a link:
// a folder link at any depth is refused, naming it, and what it points to stays untouched; a
// file where a folder should be gives the system's reason; a path outside it is refused.
TEST(SafeFileWriterErrors, FoldersBelowTheDestinationAreNotEnteredThroughLinks)
{
    const TempFolder folder;
    const std::string within = folder.path() + "/dest", outside = folder.path() + "/outside";
    for (const std::string &made : { within, outside, within + "/real" })
        ASSERT_EQ(mkdir(made.c_str(), 0755), 0);
    writeText(outside + "/b.jpg", "outside");
    writeText(within + "/file", "a file");
    ASSERT_EQ(symlink("../outside", (within + "/link").c_str()), 0);
    ASSERT_EQ(symlink("../../outside", (within + "/real/deeper").c_str()), 0);
    struct Case {
        std::string path;
        std::string reason; // after "Cannot create file PATH"; "" when written
        int error;
    };
    const Case cases[] = { { within + "/real/b.jpg", "", 0 }, { within + "//./real/c.jpg", "", 0 },
        { within + "/link/b.jpg",
            ": " + within + "/link is a symbolic link, not followed below " + within, 0 },
        { within + "/real/deeper/b.jpg",
            ": " + within + "/real/deeper is a symbolic link, not followed below " + within, 0 },
        { within + "/file/b.jpg", "", ENOTDIR }, { outside + "/b.jpg", "", EXDEV } };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        try {
            platform::PendingFile file(c.path, within);
            file.write(bytesOf("new"));
            file.commit();
            EXPECT_TRUE(c.reason.empty() && c.error == 0) << "written";
            EXPECT_EQ(readText(c.path), "new");
        } catch (const platform::EFCreateError &error) {
            EXPECT_EQ(error.what(), "Cannot create file " + c.path + c.reason);
            EXPECT_EQ(error.systemError(), c.error);
        }
    }
    EXPECT_EQ(namesIn(outside), std::vector<std::string> { "b.jpg" });
    EXPECT_EQ(readText(outside + "/b.jpg"), "outside");
}

struct SignalCase {
    const char *name;
    int signal;
    bool ignoredBefore; // as under nohup, or SIGINT for a background job
};

void PrintTo(const SignalCase &c, std::ostream *os)
{
    *os << c.name;
}

class SignalCleanup : public ::testing::TestWithParam<SignalCase>
{
};

// A process ended by the signal while a hidden named temporary exists removes it and dies of
// that signal; one that ignored the signal before keeps ignoring it.
TEST_P(SignalCleanup, RemovesTheTemporaryAndDiesOfTheSignal)
{
    const SignalCase &c = GetParam();
    const TempFolder dest;
    const std::string photo = dest.file("p.jpg");
    writeText(photo, "old");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);

    const pid_t child = fork();
    if (child == 0) {
        std::signal(c.signal, c.ignoredBefore ? SIG_IGN : SIG_DFL);
        setenv("LUMIVOR_NAMED_TEMPORARIES", "1", 1);
        platform::installSignalCleanup();
        platform::PendingFile pending(photo);
        pending.write(bytesOf("half"));
        (void)!write(ready[1], "r", 1);
        for (;;)
            pause();
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(namesIn(dest.path()).size(), 2u);
    kill(child, c.signal);
    int status = 0;
    if (c.ignoredBefore) {
        usleep(100000);
        EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "ended by an ignored signal";
        kill(child, SIGKILL);
    }
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    if (!c.ignoredBefore) {
        EXPECT_EQ(WTERMSIG(status), c.signal);
        EXPECT_EQ(namesIn(dest.path()), std::vector<std::string> { "p.jpg" });
    }
    EXPECT_EQ(readText(photo), "old");
    close(ready[0]);
    close(ready[1]);
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalCleanup,
    ::testing::Values(SignalCase { "Interrupt", SIGINT, false },
        SignalCase { "Terminate", SIGTERM, false }, SignalCase { "HangUp", SIGHUP, false },
        SignalCase { "IgnoredHangUp", SIGHUP, true }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
