#include "run/engine.h"

#include "core/error.h"
#include "imageio/errors.h"
#include "imageio/jpeg_image.h"
#include "platform/file_errors.h"
#include "platform/memory.h"
#include "platform/open_files.h"
#include "platform/signal_cleanup.h"
#include "run/enhance_photo.h"
#include "run/folder_run.h"
#include "tests/run/recording_observer.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

using testing_support::namesIn;
using testing_support::readBytes;
using testing_support::TempFolder;
using testing_support::writeSamplePhoto;
using testing_support::writeText;

namespace {

using Names = std::vector<std::string>;

using RecordingObserver = testing_support::RecordingObserver;

// The message of the run's one failure, "" when there was none.
std::string failureOf(const run::RunSummary &summary)
{
    EXPECT_LE(summary.failures.size(), 1u);
    return summary.failures.empty() ? std::string()
                                    : core::wordsFor(summary.failures.front().error).joined();
}

class FolderRun : public ::testing::Test
{
protected:
    run::RunSummary runFolder(const std::string &source, const std::string &destination)
    {
        return run::RunFolder(source, destination, {}, m_observer);
    }

    TempFolder m_source;
    TempFolder m_destination;
    RecordingObserver m_observer;
};

TEST_F(FolderRun, EnhancesEveryPhotoInNameOrderAndReportsProgress)
{
    writeSamplePhoto(m_source.file("b.jpeg"), 40, 30, 1);
    writeSamplePhoto(m_source.file("a.jpg"), 40, 30, 2);
    writeSamplePhoto(m_source.file("C.JPG"), 40, 30, 3);

    const run::RunSummary summary = runFolder(m_source.path(), m_destination.path());

    EXPECT_EQ(summary.photosDone, 3);
    EXPECT_FALSE(summary.stopped);
    const Names expected { "count 3", "start 1 C.JPG", "done 1", "start 2 a.jpg", "done 2",
        "start 3 b.jpeg", "done 3" };
    EXPECT_EQ(m_observer.events, expected);
    EXPECT_EQ(namesIn(m_destination.path()), (Names { "C.JPG", "a.jpg", "b.jpeg" }));
    for (const std::string &name : namesIn(m_destination.path())) {
        imageio::TJPEGImage written;
        written.LoadFile(m_destination.file(name));
        image::TBitmap picture;
        written.CopyToBitmap(picture);
        EXPECT_EQ(picture.Width(), 40);
        EXPECT_NE(readBytes(m_destination.file(name)), readBytes(m_source.file(name)));
    }
}

// A folder run must never pass a source it could not list for an empty one ("Done" with nothing
// done), nor write its results at the top of the file system for an empty destination text.
TEST_F(FolderRun, MissingOrUnnamedFoldersAreErrorsAnEmptyFolderIsNot)
{
    writeText(m_source.file("file"), "not a folder");
    const std::string missing = m_source.file("missing");
    const struct {
        std::string source, destination, error;
    } cases[] = {
        { m_source.path(), m_destination.path(), "" },
        { missing, m_destination.path(),
            "Cannot open file " + missing + ": " + std::strerror(ENOENT) },
        { m_source.file("file"), m_destination.path(),
            "Cannot open file " + m_source.file("file") + ": " + std::strerror(ENOTDIR) },
        { "", m_destination.path(), "No source folder given" },
        { m_source.path(), "", "No destination folder given" },
    };
    for (const auto &c : cases) {
        m_observer.events.clear();
        std::string error;
        try {
            runFolder(c.source, c.destination);
        } catch (...) {
            error = core::wordsFor(std::current_exception()).joined();
        }
        EXPECT_EQ(error, c.error) << c.source;
        EXPECT_EQ(m_observer.events, c.error.empty() ? Names { "count 0" } : Names {});
    }
    EXPECT_TRUE(namesIn(m_destination.path()).empty());
}

TEST_F(FolderRun, TakesJpgAndJpegInAnyCaseButNoFoldersHiddenFilesOrOtherExtensions)
{
    for (const char *name :
        { "PHOTO.JPG", "photo.jpeg", "Photo.JPEG", ".hidden.jpg", "a.jpe", "b.jpg.png", "c.jpegx" })
        writeSamplePhoto(m_source.file(name));
    ASSERT_EQ(mkdir(m_source.file("album.jpg").c_str(), 0755), 0);

    runFolder(m_source.path(), m_destination.path());

    EXPECT_EQ(namesIn(m_destination.path()), (Names { "PHOTO.JPG", "Photo.JPEG", "photo.jpeg" }));
}

// Every photo is read whole before it is written, and no temporary file may stay behind.
TEST_F(FolderRun, DestinationEqualToSourceReplacesEveryPhoto)
{
    writeSamplePhoto(m_source.file("a.jpg"), 30, 20, 4);
    writeSamplePhoto(m_source.file("b.jpg"), 30, 20, 5);
    const auto originalA = readBytes(m_source.file("a.jpg"));

    runFolder(m_source.path(), m_source.path());

    EXPECT_EQ(namesIn(m_source.path()), (Names { "a.jpg", "b.jpg" }));
    EXPECT_NE(readBytes(m_source.file("a.jpg")), originalA);
    imageio::TJPEGImage replaced;
    replaced.LoadFile(m_source.file("a.jpg"));
    image::TBitmap picture;
    replaced.CopyToBitmap(picture);
    EXPECT_EQ(picture.Height(), 20);
}

TEST_F(FolderRun, MissingDestinationStopsAtTheFirstPhotoWithTheReason)
{
    writeSamplePhoto(m_source.file("a.jpg"));
    writeSamplePhoto(m_source.file("b.jpg"));
    const std::string destination = m_destination.file("missing");

    const run::RunSummary summary = runFolder(m_source.path(), destination);

    const std::string failure
        = "Cannot create file " + destination + "/a.jpg: " + std::strerror(ENOENT);
    EXPECT_EQ(failureOf(summary), failure);
    EXPECT_EQ(summary.failures.front().photo.sourcePath, m_source.file("a.jpg"));
    EXPECT_EQ(
        m_observer.events, (Names { "count 2", "start 1 a.jpg", "failed 1 a.jpg: " + failure }));
}

// The engine's own cases: photos of mixed sizes in a folder, run with jobs built from it.
class RunEngine : public FolderRun
{
protected:
    // Photos p0.jpg .. p<count-1>.jpg, every other one larger, each different.
    void writePhotos(int count)
    {
        for (int i = 0; i < count; ++i) {
            const std::string name = "p" + std::to_string(i) + ".jpg";
            writeSamplePhoto(m_source.file(name), i % 2 ? 120 : 40, i % 2 ? 90 : 30, i);
            m_names.push_back(name);
        }
    }

    run::RunSummary runJobs(const std::string &destination, const run::RunOptions &options)
    {
        std::vector<run::PhotoJob> jobs;
        for (const std::string &name : m_names)
            jobs.push_back({ name, m_source.file(name), destination + "/" + name });
        m_observer.events.clear();
        return run::RunPhotoJobs(jobs, options, m_observer);
    }

    Names m_names;
};

struct EngineCase {
    const char *name;
    int workers;
    std::uint64_t memoryBudget;
};
void PrintTo(const EngineCase &c, std::ostream *os)
{
    *os << c.name;
}

class RunEngineSettings : public RunEngine, public ::testing::WithParamInterface<EngineCase>
{
};

// Whatever the number of workers and however little memory lets them run side by side, the
// files and what the observer sees are those of enhancing one photo at a time.
TEST_P(RunEngineSettings, OutputAndProgressAreThoseOfOnePhotoAtATime)
{
    writePhotos(7);
    const TempFolder oneAtATime;
    run::RunOptions sequential;
    sequential.workers = 1;
    runJobs(oneAtATime.path(), sequential);
    const Names expectedEvents = m_observer.events;

    run::RunOptions options;
    options.workers = GetParam().workers;
    options.memoryBudget = GetParam().memoryBudget;
    const run::RunSummary summary = runJobs(m_destination.path(), options);

    EXPECT_EQ(summary.photosDone, 7);
    EXPECT_EQ(m_observer.events, expectedEvents);
    ASSERT_EQ(namesIn(m_destination.path()), m_names);
    for (const std::string &name : m_names)
        EXPECT_EQ(readBytes(m_destination.file(name)), readBytes(oneAtATime.file(name))) << name;
}

// A large photo of one scan needs 120 * 90 * 5 = 54000 bytes, a small one 6000.
INSTANTIATE_TEST_SUITE_P(Engine, RunEngineSettings,
    ::testing::Values(EngineCase { "ThreeWorkers", 3, 0 },
        EngineCase { "MoreWorkersThanPhotos", 16, 0 },
        EngineCase { "BudgetForOneLargePhotoAtATime", 4, 60000 },
        EngineCase { "BudgetForExactlyOneLargePhoto", 4, 54000 }),
    [](const auto &info) { return std::string(info.param.name); });

// The first failure in listing order ends the run, even when a later photo fails first: here
// the third photo fails only at its destination, after being enhanced, and the fifth at once.
// Nothing from the third on is touched, and no pending file is left.
TEST_F(RunEngine, FirstFailureInListingOrderEndsTheRunLeavingTheRestUntouched)
{
    writePhotos(6);
    writeText(m_source.file(m_names[4]), "not a photo");
    std::vector<std::vector<std::uint8_t>> originals;
    for (const std::string &name : m_names)
        originals.push_back(readBytes(m_source.file(name)));
    chmod(m_source.file(m_names[2]).c_str(), 0444);

    for (const int workers : { 1, 4 }) {
        run::RunOptions options;
        options.workers = workers;
        const run::RunSummary summary = runJobs(m_source.path(), options);
        EXPECT_EQ(failureOf(summary).rfind("Cannot create file " + m_source.file("p2.jpg"), 0), 0u)
            << failureOf(summary);
        EXPECT_EQ(summary.photosDone, 2);
        EXPECT_FALSE(summary.stopped);
        EXPECT_EQ(m_observer.events.at(m_observer.events.size() - 2), "start 3 p2.jpg");
        EXPECT_EQ(namesIn(m_source.path()), m_names);
        for (std::size_t i = 2; i < m_names.size(); ++i)
            EXPECT_EQ(readBytes(m_source.file(m_names[i])), originals[i]) << m_names[i];
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_NE(readBytes(m_source.file(m_names[i])), originals[i]) << m_names[i];
            testing_support::writeBytes(m_source.file(m_names[i]), originals[i]);
        }
    }
}

TEST_F(RunEngine, KeepGoingReportsEachFailureAndPutsTheOthersInPlace)
{
    writePhotos(5);
    writeText(m_source.file("p1.jpg"), "not a photo");
    writeText(m_source.file("p3.jpg"), "");
    run::RunOptions options;
    options.workers = 3;
    options.keepGoing = true;

    const run::RunSummary summary = runJobs(m_destination.path(), options);

    EXPECT_EQ(summary.photosDone, 3);
    ASSERT_EQ(summary.failures.size(), 2u);
    EXPECT_EQ(summary.failures[0].photo.name, "p1.jpg");
    EXPECT_FALSE(summary.stopped);
    const Names expected { "count 5", "start 1 p0.jpg", "done 1", "start 2 p1.jpg",
        "failed 2 p1.jpg: JPEG error #52: Not a JPEG file", "start 3 p2.jpg", "done 3",
        "start 4 p3.jpg", "failed 4 p3.jpg: JPEG error #41: Empty input file", "start 5 p4.jpg",
        "done 5" };
    EXPECT_EQ(m_observer.events, expected);
    EXPECT_EQ(namesIn(m_destination.path()), (Names { "p0.jpg", "p2.jpg", "p4.jpg" }));
}

TEST_F(RunEngine, PreservedTimesAreTheSourcesToTheNanosecond)
{
    writePhotos(3);
    const timespec past = { 981173106, 789000000 }; // 2001-02-03 04:05:06.789 UTC
    const timespec times[2] = { past, past };
    for (const std::string &name : m_names)
        ASSERT_EQ(utimensat(AT_FDCWD, m_source.file(name).c_str(), times, 0), 0);
    run::RunOptions options;
    options.preserveTimes = true;

    runJobs(m_destination.path(), options);

    for (const std::string &name : m_names) {
        struct stat written {
        };
        ASSERT_EQ(stat(m_destination.file(name).c_str(), &written), 0);
        EXPECT_EQ(written.st_mtim.tv_sec, past.tv_sec) << name;
        EXPECT_EQ(written.st_mtim.tv_nsec, past.tv_nsec) << name;
    }
}

// Too large for the whole budget, a photo is refused before it is decoded, as one too large for
// the machine is; the decoder itself holds a photo to the budget it is given.
TEST_F(RunEngine, PhotoLargerThanTheBudgetIsRefused)
{
    writePhotos(3);
    run::RunOptions options;
    options.memoryBudget = 50000; // the small photos fit, the large one does not
    EXPECT_EQ(
        failureOf(runJobs(m_destination.path(), options)), "JPEG error #53: Insufficient memory");
    EXPECT_EQ(namesIn(m_destination.path()), Names { "p0.jpg" });

    run::TWorkingImages images;
    EXPECT_THROW(run::EnhancePhotoPending(
                     images, m_source.file("p1.jpg"), m_destination.file("p1.jpg"), {}, {}, 50000),
        imageio::EJPEG);
    EXPECT_NO_THROW(run::EnhancePhotoPending(
        images, m_source.file("p1.jpg"), m_destination.file("p1.jpg"), {}, {}, 54000));
}

// Photos finished ahead of their turn wait as pending files. However many workers there are, no
// more of them wait at once than a terminating signal can remove while they are hidden named
// files: Ctrl-C would leave the others behind.
TEST_F(RunEngine, PhotosWaitingForTheirTurnStayWithinTheSignalsCleanUp)
{
    platform::raiseOpenFileLimit(); // as the programs do, so that descriptors are not the bound
    const int photoCount = platform::registeredTemporariesMost + 100;
    for (int i = 0; i < photoCount; ++i) {
        m_names.push_back("p" + std::to_string(i) + ".jpg");
        writeSamplePhoto(m_source.file(m_names.back()), 8, 8, i);
    }
    std::size_t mostWaiting = 0;
    m_observer.onEnhanced = [&](int number) {
        // The first photo is in place: held here, the run lets the workers finish what they may.
        for (int unchanged = 0; number == 1 && unchanged < 10;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const std::size_t waiting = namesIn(m_destination.path()).size() - 1;
            unchanged = waiting == mostWaiting ? unchanged + 1 : 0;
            mostWaiting = std::max(mostWaiting, waiting);
        }
    };
    setenv("LUMIVOR_NAMED_TEMPORARIES", "1", 1);
    run::RunOptions options;
    options.workers = 160;
    const run::RunSummary summary = runJobs(m_destination.path(), options);
    unsetenv("LUMIVOR_NAMED_TEMPORARIES");

    EXPECT_EQ(summary.photosDone, photoCount);
    EXPECT_LE(mostWaiting, std::size_t(platform::registeredTemporariesMost));
    EXPECT_EQ(namesIn(m_destination.path()), namesIn(m_source.path()));
}

std::uint64_t peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoull(line.substr(6)) * 1024;
    return 0;
}

// A photo's file counts toward the run's budget from before it is read: files that fit the
// budget only one at a time are read one at a time, however many workers there are, and a file
// larger than the whole budget fails without being read.
TEST_F(RunEngine, FilesAreReadWithinTheBudget)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer keeps freed memory resident for a while";
#endif
    constexpr std::uint64_t megabyte = 1 << 20;
    constexpr std::uint64_t budget = 20 * megabyte;
    writePhotos(4);
    // Zeros after the picture, carried through to the result; sparse on disk, not once read.
    for (const auto &[name, size] : { std::pair { "p0.jpg", 8 * megabyte },
             { "p1.jpg", 8 * megabyte }, { "p2.jpg", 8 * megabyte }, { "p3.jpg", 24 * megabyte } })
        ASSERT_EQ(truncate(m_source.file(name).c_str(), off_t(size)), 0);
    platform::useMemoryPolicy();
    std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again from here
    const std::uint64_t before = peakResidentBytes();
    run::RunOptions options;
    options.workers = 4;
    options.keepGoing = true;
    options.memoryBudget = budget;

    const run::RunSummary summary = runJobs(m_destination.path(), options);

    EXPECT_LE(peakResidentBytes() - before, budget + 4 * megabyte);
    EXPECT_EQ(summary.photosDone, 3);
    ASSERT_EQ(summary.failures.size(), 1u);
    EXPECT_EQ(summary.failures[0].photo.name, "p3.jpg");
    EXPECT_EQ(core::wordsFor(summary.failures[0].error).joined(),
        "Out of memory while expanding memory stream");
}

class StoppedRun : public RunEngine, public ::testing::WithParamInterface<int>
{
};

// A stop request ends the run at once: nothing after it is reported, every photo is its original
// or its whole enhanced version, and nothing temporary is left, however many photos were in work.
TEST_P(StoppedRun, LeavesEveryPhotoWholeAndNothingTemporary)
{
    writePhotos(12);
    const TempFolder enhanced;
    runJobs(enhanced.path(), {});
    std::vector<std::vector<std::uint8_t>> originals;
    for (const std::string &name : m_names)
        originals.push_back(readBytes(m_source.file(name)));

    for (const int stopAfter : { 0, 3 }) {
        run::StopRequest stop;
        if (stopAfter == 0)
            stop.request();
        run::RunOptions options;
        options.workers = GetParam();
        options.stop = &stop;
        m_observer.onEnhanced = [&](int number) {
            if (number == stopAfter)
                stop.request();
        };
        const run::RunSummary summary = runJobs(m_source.path(), options);
        m_observer.onEnhanced = nullptr;

        EXPECT_TRUE(summary.stopped);
        EXPECT_EQ(summary.photosDone, stopAfter);
        EXPECT_EQ(m_observer.events.back(), stopAfter == 0 ? "count 12" : "done 3");
        EXPECT_EQ(namesIn(m_source.path()), namesIn(enhanced.path()));
        for (std::size_t i = 0; i < m_names.size(); ++i) {
            const auto now = readBytes(m_source.file(m_names[i]));
            EXPECT_EQ(now, int(i) < stopAfter ? readBytes(enhanced.file(m_names[i])) : originals[i])
                << m_names[i];
            testing_support::writeBytes(m_source.file(m_names[i]), originals[i]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Workers, StoppedRun, ::testing::Values(1, 4));

} // namespace
