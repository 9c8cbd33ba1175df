#include "run/engine.h"

#include "imageio/errors.h"
#include "platform/file_errors.h"
#include "imageio/jpeg_image.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

using testing_support::namesIn;
using testing_support::readBytes;
using testing_support::TempFolder;
using testing_support::writeSamplePhoto;
using testing_support::writeText;

namespace {

// Records every call, in order, as text.
class RecordingObserver : public app::BatchObserver
{
public:
    void countKnown(int fileCount) override
    {
        events.push_back("count " + std::to_string(fileCount));
    }
    void fileStarted(const std::string &name, int number) override
    {
        events.push_back("start " + std::to_string(number) + " " + name);
    }
    void fileFinished(int filesDone) override
    {
        events.push_back("done " + std::to_string(filesDone));
    }
    void fileFailed(const app::PhotoFailure &failure) override
    {
        events.push_back("failed " + failure.name + ": " + failure.message);
    }
    void done() override { events.push_back("Done"); }

    std::vector<std::string> events;
};

app::BatchFolders fixed(const std::string &source, const std::string &destination)
{
    return { [source] { return source; }, [destination] { return destination; } };
}

class BatchRun : public ::testing::Test
{
protected:
    void run(const std::string &source, const std::string &destination)
    {
        app::RunBatch(fixed(source, destination), m_observer);
    }

    TempFolder m_source;
    TempFolder m_destination;
    RecordingObserver m_observer;
};

TEST_F(BatchRun, EnhancesEveryPhotoInNameOrderAndReportsProgress)
{
    writeSamplePhoto(m_source.file("b.jpg"), 40, 30, 1);
    writeSamplePhoto(m_source.file("a.jpg"), 40, 30, 2);
    writeSamplePhoto(m_source.file("C.JPG"), 40, 30, 3);

    run(m_source.path(), m_destination.path());

    const std::vector<std::string> expected { "count 3", "start 1 C.JPG", "done 1", "start 2 a.jpg",
        "done 2", "start 3 b.jpg", "done 3", "Done" };
    EXPECT_EQ(m_observer.events, expected);
    EXPECT_EQ(
        namesIn(m_destination.path()), (std::vector<std::string> { "C.JPG", "a.jpg", "b.jpg" }));
    for (const std::string &name : namesIn(m_destination.path())) {
        imageio::TJPEGImage written;
        written.LoadFile(m_destination.file(name));
        image::TBitmap picture;
        written.CopyToBitmap(picture);
        EXPECT_EQ(picture.Width(), 40);
        EXPECT_NE(readBytes(m_destination.file(name)), readBytes(m_source.file(name)));
    }
}

TEST_F(BatchRun, EmptyOrMissingSourceFinishesAtOnceWritingNothing)
{
    for (const std::string &source : { m_source.path(), m_source.file("missing") }) {
        m_observer.events.clear();
        run(source, m_destination.path());
        EXPECT_EQ(m_observer.events, (std::vector<std::string> { "count 0", "Done" })) << source;
    }
    EXPECT_TRUE(namesIn(m_destination.path()).empty());
}

TEST_F(BatchRun, LeavesOutFoldersHiddenFilesAndOtherExtensions)
{
    writeSamplePhoto(m_source.file("PHOTO.JPG"));
    writeSamplePhoto(m_source.file(".hidden.jpg"));
    writeSamplePhoto(m_source.file("photo.jpeg"));
    ASSERT_EQ(mkdir(m_source.file("album.jpg").c_str(), 0755), 0);

    run(m_source.path(), m_destination.path());

    EXPECT_EQ(namesIn(m_destination.path()), std::vector<std::string> { "PHOTO.JPG" });
}

// Every photo is read whole before it is written, and no temporary file may stay behind.
TEST_F(BatchRun, DestinationEqualToSourceReplacesEveryPhoto)
{
    writeSamplePhoto(m_source.file("a.jpg"), 30, 20, 4);
    writeSamplePhoto(m_source.file("b.jpg"), 30, 20, 5);
    const auto originalA = readBytes(m_source.file("a.jpg"));

    run(m_source.path(), m_source.path());

    EXPECT_EQ(namesIn(m_source.path()), (std::vector<std::string> { "a.jpg", "b.jpg" }));
    EXPECT_NE(readBytes(m_source.file("a.jpg")), originalA);
    imageio::TJPEGImage replaced;
    replaced.LoadFile(m_source.file("a.jpg"));
    image::TBitmap picture;
    replaced.CopyToBitmap(picture);
    EXPECT_EQ(picture.Height(), 20);
}

TEST_F(BatchRun, MissingDestinationStopsAtTheFirstFile)
{
    writeSamplePhoto(m_source.file("a.jpg"));
    writeSamplePhoto(m_source.file("b.jpg"));
    const std::string destination = m_destination.file("missing");
    try {
        run(m_source.path(), destination);
        FAIL() << "the run did not fail";
    } catch (const platform::EFCreateError &error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file " + destination + "/a.jpg");
    }
    EXPECT_EQ(m_observer.events, (std::vector<std::string> { "count 2", "start 1 a.jpg" }));
}

// The folder texts are used exactly as they stand, composed afresh for each file.
TEST_F(BatchRun, PathsAreComposedFromTheCurrentTextsForEveryFile)
{
    writeSamplePhoto(m_source.file("a.jpg"));
    writeSamplePhoto(m_source.file("b.jpg"));
    int destinationAsked = 0;
    const std::string slashEnded = m_destination.path() + "/";
    const app::BatchFolders folders { [&] { return m_source.path(); },
        [&] {
            ++destinationAsked;
            return slashEnded;
        } };
    app::RunBatch(folders, m_observer);
    EXPECT_EQ(destinationAsked, 2);
    EXPECT_EQ(namesIn(m_destination.path()).size(), 2u);
}

// The engine's own cases: photos of mixed sizes in a folder, run with jobs built from it.
class RunEngine : public BatchRun
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

    app::RunSummary runJobs(const std::string &destination, const app::RunOptions &options)
    {
        std::vector<app::PhotoJob> jobs;
        for (const std::string &name : m_names)
            jobs.push_back({ name, m_source.file(name), destination + "/" + name });
        m_observer.events.clear();
        return app::RunPhotoJobs(jobs, options, m_observer);
    }

    std::vector<std::string> m_names;
};

struct EngineCase {
    const char *name;
    int workers;
    std::uint64_t memoryBudget;
};
void PrintTo(const EngineCase &c, std::ostream *os) { *os << c.name; }

class RunEngineSettings : public RunEngine, public ::testing::WithParamInterface<EngineCase>
{
};

// Whatever the number of workers and however little memory lets them run side by side, the
// files and what the observer sees are those of enhancing one photo at a time.
TEST_P(RunEngineSettings, OutputAndProgressAreThoseOfOnePhotoAtATime)
{
    writePhotos(7);
    const TempFolder oneAtATime;
    app::RunOptions sequential;
    sequential.workers = 1;
    runJobs(oneAtATime.path(), sequential);
    const std::vector<std::string> expectedEvents = m_observer.events;

    app::RunOptions options;
    options.workers = GetParam().workers;
    options.memoryBudget = GetParam().memoryBudget;
    const app::RunSummary summary = runJobs(m_destination.path(), options);

    EXPECT_EQ(summary.photosDone, 7);
    EXPECT_EQ(m_observer.events, expectedEvents);
    ASSERT_EQ(namesIn(m_destination.path()), m_names);
    for (const std::string &name : m_names)
        EXPECT_EQ(readBytes(m_destination.file(name)), readBytes(oneAtATime.file(name))) << name;
}

// A large photo needs 120 * 90 * 10 = 108000 bytes, a small one 12000.
INSTANTIATE_TEST_SUITE_P(Engine, RunEngineSettings, ::testing::Values(
    EngineCase{"ThreeWorkers", 3, 0},
    EngineCase{"MoreWorkersThanPhotos", 16, 0},
    EngineCase{"BudgetForOneLargePhotoAtATime", 4, 120000},
    EngineCase{"BudgetForExactlyOneLargePhoto", 4, 108000}),
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
        app::RunOptions options;
        options.workers = workers;
        try {
            runJobs(m_source.path(), options);
            FAIL() << "the run did not fail";
        } catch (const platform::EFCreateError &error) {
            EXPECT_EQ(std::string(error.what()), "Cannot create file " + m_source.file("p2.jpg"));
        }
        EXPECT_EQ(m_observer.events.back(), "start 3 p2.jpg");
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
    app::RunOptions options;
    options.workers = 3;
    options.keepGoing = true;

    const app::RunSummary summary = runJobs(m_destination.path(), options);

    EXPECT_EQ(summary.photosDone, 3);
    ASSERT_EQ(summary.failures.size(), 2u);
    EXPECT_EQ(summary.failures[0].name, "p1.jpg");
    EXPECT_EQ(summary.failures[1].message, "JPEG error #41");
    const std::vector<std::string> expected { "count 5", "start 1 p0.jpg", "done 1",
        "start 2 p1.jpg", "failed p1.jpg: JPEG error #52", "start 3 p2.jpg", "done 2",
        "start 4 p3.jpg", "failed p3.jpg: JPEG error #41", "start 5 p4.jpg", "done 3", "Done" };
    EXPECT_EQ(m_observer.events, expected);
    EXPECT_EQ(namesIn(m_destination.path()),
        (std::vector<std::string> { "p0.jpg", "p2.jpg", "p4.jpg" }));
}

TEST_F(RunEngine, PreservedTimesAreTheSourcesToTheNanosecond)
{
    writePhotos(3);
    const timespec past = { 981173106, 789000000 };    // 2001-02-03 04:05:06.789 UTC
    const timespec times[2] = { past, past };
    for (const std::string &name : m_names)
        ASSERT_EQ(utimensat(AT_FDCWD, m_source.file(name).c_str(), times, 0), 0);
    app::RunOptions options;
    options.preserveTimes = true;

    runJobs(m_destination.path(), options);

    for (const std::string &name : m_names) {
        struct stat written {};
        ASSERT_EQ(stat(m_destination.file(name).c_str(), &written), 0);
        EXPECT_EQ(written.st_mtim.tv_sec, past.tv_sec) << name;
        EXPECT_EQ(written.st_mtim.tv_nsec, past.tv_nsec) << name;
    }
}

// Too large for the whole budget, a photo is refused before it is decoded, as one too large for
// the machine is.
TEST_F(RunEngine, PhotoLargerThanTheWholeBudgetIsRefused)
{
    writePhotos(3);
    app::RunOptions options;
    options.memoryBudget = 100000;    // the small photos fit, the large one does not
    try {
        runJobs(m_destination.path(), options);
        FAIL() << "the run did not fail";
    } catch (const imageio::EJPEG &error) {
        EXPECT_STREQ(error.what(), "JPEG error #53");
    }
    EXPECT_EQ(namesIn(m_destination.path()), std::vector<std::string> { "p0.jpg" });
}

} // namespace
