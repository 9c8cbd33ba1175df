// A folder run meets a changing, failing or filling file system: it stops with a clear error,
// and no photo is lost or left half-written.
#include "run/folder_run.h"

#include "batch_program.h"
#include "imageio/errors.h"
#include "tests/run/recording_observer.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"
#include "tests/support/without_file_capabilities.h"

#include "tests/support/file_size_limit.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include <ftw.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::namesIn;
using testing_support::readBytes;
using testing_support::TempFolder;
using testing_support::writeSamplePhoto;
using testing_support::writeText;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes textBytes(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

using HookObserver = testing_support::RecordingObserver;

// The photo the run was at when it ended.
std::string lastStarted(const HookObserver &observer)
{
    for (auto event = observer.events.rbegin(); event != observer.events.rend(); ++event)
        if (event->rfind("start ", 0) == 0)
            return *event;
    return std::string();
}

// The message of the error that ended the run, or "" when it ended normally.
std::string runAndCatch(const std::string &source, const std::string &destination,
    HookObserver &observer, const run::RunOptions &options = {})
{
    try {
        const run::RunSummary summary = run::RunFolder(source, destination, options, observer);
        if (!summary.failures.empty())
            std::rethrow_exception(summary.failures.front().error);
    } catch (...) {
        return core::wordsFor(std::current_exception()).message;
    }
    return "";
}

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

// The run's workers may be writing pending files into a folder while it is removed: taken
// again until it is gone.
void removeTree(const std::string &path)
{
    for (int attempt = 0; attempt < 100 && testing_support::exists(path); ++attempt)
        nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

using testing_support::FileSizeLimit;

// Five photos a.jpg .. e.jpg; the third is much larger than the others once enhanced, so that a
// file-size limit between the two sizes stops the run exactly there.
class FaultRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (int i = 0; i < 5; ++i) {
            const std::string name = std::string(1, char('a' + i)) + ".jpg";
            names.push_back(name);
            if (i == 2)
                writeSamplePhoto(source.file(name), 400, 300, i);
            else
                writeSamplePhoto(source.file(name), 40, 30, i);
            originals.push_back(readBytes(source.file(name)));
        }
        run::RunFolder(source.path(), enhanced.path(), {}, m_quiet);
        for (const std::string &name : names)
            enhancedBytes.push_back(readBytes(enhanced.file(name)));
    }

    // A limit that the enhanced a, b, d and e fit under and the enhanced c does not.
    rlim_t limitBelowTheThird() const
    {
        std::size_t others = 0;
        for (int i : { 0, 1, 3, 4 })
            others = std::max(others, enhancedBytes[std::size_t(i)].size());
        EXPECT_LT(2 * others, enhancedBytes[2].size());
        return rlim_t(2 * others);
    }

    TempFolder source;
    TempFolder enhanced; // what a clean run writes
    std::vector<std::string> names;
    std::vector<Bytes> originals;
    std::vector<Bytes> enhancedBytes;

private:
    HookObserver m_quiet;
};

// Enhancing a folder into itself, something fails at the third photo: the two before are fully
// enhanced, the third and the rest are exactly the originals, and no temporary file is left,
// also when workers have enhanced the photos after it ahead of time.
TEST_F(FaultRun, FailureAtOnePhotoInPlaceKeepsEveryOriginalFromThereOn)
{
    struct Injection {
        const char *what;
        std::function<void()> prepare;
        std::string expectedError;
        rlim_t fileSizeLimit;
    };
    const std::string third = source.file("c.jpg");
    const Injection injections[] = {
        { "read-only photo", [&] { chmod(third.c_str(), 0444); }, "Cannot create file " + third,
            RLIM_INFINITY },
        { "disk full while saving it", [] {}, "Stream write error", limitBelowTheThird() },
        { "damaged photo", [&] { writeText(third, "not a photo"); }, "JPEG error #52",
            RLIM_INFINITY },
    };
    for (const Injection &injection : injections) {
        for (const int workers : { 1, 4 }) {
            for (std::size_t i = 0; i < names.size(); ++i) {
                testing_support::writeBytes(source.file(names[i]), originals[i]);
                chmod(source.file(names[i]).c_str(), 0644);
            }
            injection.prepare();
            const Bytes thirdBefore = readBytes(third);

            HookObserver observer;
            run::RunOptions options;
            options.workers = workers;
            std::string error;
            {
                const FileSizeLimit limit(injection.fileSizeLimit);
                error = runAndCatch(source.path(), source.path(), observer, options);
            }
            const std::string what
                = std::string(injection.what) + ", workers " + std::to_string(workers);
            EXPECT_EQ(error, injection.expectedError) << what;
            EXPECT_EQ(lastStarted(observer), "start 3 c.jpg") << what;
            EXPECT_EQ(namesIn(source.path()), names) << what;
            EXPECT_EQ(readBytes(source.file("a.jpg")), enhancedBytes[0]) << what;
            EXPECT_EQ(readBytes(source.file("b.jpg")), enhancedBytes[1]) << what;
            EXPECT_EQ(readBytes(third), thirdBefore) << what;
            EXPECT_EQ(readBytes(source.file("d.jpg")), originals[3]) << what;
            EXPECT_EQ(readBytes(source.file("e.jpg")), originals[4]) << what;
        }
    }
}

// A real short write through lumivor-batch, started as from a shell with a file-size limit,
// into a destination holding older versions of the photos: it reports the short write like a
// full disk instead of being killed halfway through saving, and the failing photo's old file
// stays.
TEST_F(FaultRun, BatchProgramUnderAFileSizeLimitReportsTheShortWrite)
{
    const TempFolder destination;
    for (const std::string &name : names)
        writeText(destination.file(name), "old " + name);
    const testing_support::ProgramRun run = testing_support::runBatchProgram(
        { source.path(), destination.path() }, "/", long(limitBelowTheThird()));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.errors.find("\nlumivor-batch: " + source.file("c.jpg") + ": Stream write error"),
              std::string::npos)
        << run.errors;
    EXPECT_EQ(namesIn(destination.path()), names);
    EXPECT_EQ(readBytes(destination.file("b.jpg")), enhancedBytes[1]);
    EXPECT_EQ(readBytes(destination.file("c.jpg")), textBytes("old c.jpg"));
}

// Under an address-space limit (ulimit -v) too small for a photo, lumivor-batch stops at that
// photo with an out-of-memory message of ours, never "std::bad_alloc", and loses nothing; under
// a roomy one it enhances every photo.
TEST(AddressSpaceLimit, PhotoTooLargeForItStopsTheRunWithAnOutOfMemoryMessage)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory cannot be mapped under such a limit";
#endif
    const TempFolder source;
    writeSamplePhoto(source.file("a.jpg"));
    writeSamplePhoto(source.file("b.jpg"), 4000, 3000);    // some 60 MB of working memory
    writeSamplePhoto(source.file("c.jpg"));
    constexpr long megabytes = 1 << 20;
    const std::vector<std::string> firstOnly { "a.jpg" };
    const std::vector<std::string> all { "a.jpg", "b.jpg", "c.jpg" };
    for (const auto &[limit, written] : { std::pair { 48 * megabytes, firstOnly },
             std::pair { 64 * megabytes, firstOnly }, std::pair { 400 * megabytes, all } }) {
        const TempFolder destination;
        const testing_support::ProgramRun run = testing_support::runBatchProgram(
            { source.path(), destination.path() }, "/", 0, limit);
        EXPECT_EQ(namesIn(destination.path()), written) << limit;
        if (written == all) {
            EXPECT_EQ(run.exitStatus, 0) << run.errors;
            continue;
        }
        EXPECT_EQ(run.exitStatus, 1) << limit;
        const std::string named = "\nlumivor-batch: " + source.file("b.jpg") + ": ";
        EXPECT_TRUE(run.errors.find(named + "JPEG error #53: Insufficient memory\n")
                != std::string::npos
            || run.errors.find(named + "Out of memory while expanding memory stream\n")
                != std::string::npos)
            << limit << ": " << run.errors;
    }
}

// A photo removed after the listing, before its turn, stops the run with a clear error rather
// than being passed over, so a photo that went missing (a card pulled, a share gone) is never
// reported as done.
TEST_F(FaultRun, PhotoThatVanishesBeforeItsTurnStopsTheRun)
{
    const TempFolder destination;
    HookObserver observer;
    observer.onStart = [&](int number) {
        if (number == 1)
            unlink(source.file("d.jpg").c_str());
    };
    EXPECT_EQ(runAndCatch(source.path(), destination.path(), observer),
        "Cannot open file " + source.file("d.jpg"));
    EXPECT_EQ(lastStarted(observer), "start 4 d.jpg");
    EXPECT_EQ(
        namesIn(destination.path()), (std::vector<std::string> { "a.jpg", "b.jpg", "c.jpg" }));
}

// Whatever takes a photo's name, in the folder from the start or swapped in during the run, is
// either left out or refused; nothing blocks on a FIFO.
TEST_F(FaultRun, FolderFifoAndDanglingLinkNamedJpg)
{
    const std::vector<std::pair<const char *, std::function<void(const std::string &)>>> makers {
        { "folder", [](const std::string &path) { mkdir(path.c_str(), 0755); } },
        { "FIFO", [](const std::string &path) { mkfifo(path.c_str(), 0644); } },
        { "dangling link", [](const std::string &path) { symlink("nowhere.jpg", path.c_str()); } },
    };
    for (const auto &[what, make] : makers) {
        make(source.file("x.jpg"));
        const TempFolder destination;
        HookObserver observer;
        observer.onStart = [&](int number) {
            if (number == 1) {
                unlink(source.file("b.jpg").c_str());
                make(source.file("b.jpg"));
            }
        };
        EXPECT_EQ(runAndCatch(source.path(), destination.path(), observer),
            "Cannot open file " + source.file("b.jpg"))
            << what;
        EXPECT_EQ(observer.events.front(), "count 5") << what;
        EXPECT_EQ(namesIn(destination.path()), std::vector<std::string> { "a.jpg" }) << what;

        removeTree(source.file("b.jpg"));
        removeTree(source.file("x.jpg"));
        testing_support::writeBytes(source.file("b.jpg"), originals[1]);
    }
}

// After the first photo the destination folder is removed, or replaced by a file.
TEST_F(FaultRun, DestinationThatBecomesUnwritableStopsAtTheNextPhoto)
{
    for (const bool replaceByFile : { false, true }) {
        const TempFolder parent;
        const std::string destination = parent.file("out");
        mkdir(destination.c_str(), 0755);
        HookObserver observer;
        observer.onEnhanced = [&](int filesDone) {
            if (filesDone == 1) {
                removeTree(destination);
                if (replaceByFile)
                    writeText(destination, "in the way");
            }
        };
        EXPECT_EQ(runAndCatch(source.path(), destination, observer),
            "Cannot create file " + destination + "/b.jpg");
        EXPECT_EQ(lastStarted(observer), "start 2 b.jpg");
        EXPECT_EQ(namesIn(parent.path()),
            replaceByFile ? std::vector<std::string> { "out" } : std::vector<std::string> {});
        if (replaceByFile) {
            EXPECT_EQ(readBytes(destination), textBytes("in the way"));
        }
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(readBytes(source.file(names[i])), originals[i]);
    }
}

// A source folder that cannot be listed, that can be listed but not searched (its photos named
// but not to be looked at), or is a file, is an error naming it before anything is counted, not
// an empty folder reported as done.
TEST(UnreadableSource, IsAnErrorNamingTheFolder)
{
    const testing_support::WithoutFileCapabilities asUser;
    if (geteuid() == 0 && !asUser.active())
        GTEST_SKIP() << "root reads any folder, and its capabilities cannot be dropped here";
    const TempFolder parent;
    const std::string locked = parent.file("locked");
    const std::string unsearchable = parent.file("unsearchable");
    const std::string file = parent.file("file");
    for (const auto &[folder, mode] : { std::pair { locked, 0300 }, { unsearchable, 0444 } }) {
        mkdir(folder.c_str(), 0755);
        writeSamplePhoto(folder + "/a.jpg");
        chmod(folder.c_str(), mode_t(mode));
    }
    writeText(file, "not a folder");
    for (const std::string &source : { locked, unsearchable, file }) {
        HookObserver observer;
        EXPECT_EQ(runAndCatch(source, parent.path(), observer), "Cannot open file " + source);
        EXPECT_TRUE(observer.events.empty()) << observer.events.front();
    }
    for (const std::string &folder : { locked, unsearchable })
        chmod(folder.c_str(), 0755);
}

} // namespace
