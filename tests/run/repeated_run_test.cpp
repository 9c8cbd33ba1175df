// Runs repeated over their own results, stopped and resumed, and photos the codec warns about:
// a photo is enhanced once, whatever happened to the runs before.
#include "core/error.h"
#include "imageio/enhancement_record.h"
#include "run/engine.h"
#include "run/folder_run.h"
#include "run/run_words.h"
#include "tests/run/recording_observer.h"
#include "tests/support/jpeg_files.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"
#include "tests/support/xmp_packets.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>

using testing_support::namesIn;
using testing_support::readBytes;
using testing_support::TempFolder;
using testing_support::writeBytes;
using testing_support::writeSamplePhoto;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

void setModified(const std::string &path, time_t seconds)
{
    const timespec times[2] = { { seconds, 0 }, { seconds, 0 } };
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

timespec modifiedOf(const std::string &path)
{
    struct stat info {
    };
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mtim;
}

bool sameTime(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Photos p0.jpg .. p5.jpg, each different, with each enhanced once by a clean run.
class RepeatedRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (int i = 0; i < 6; ++i) {
            m_names.push_back("p" + std::to_string(i) + ".jpg");
            writeSamplePhoto(m_originals.file(m_names.back()), 64 + 8 * i, 48, i);
        }
        run::RunFolder(m_originals.path(), m_enhanced.path(), {}, m_observer);
    }

    void copyOriginalsTo(const TempFolder &folder)
    {
        for (const std::string &name : m_names)
            writeBytes(folder.file(name), readBytes(m_originals.file(name)));
    }

    run::RunSummary runFolder(const std::string &source, const std::string &destination,
        bool again = false, bool keepGoing = false)
    {
        run::RunOptions options;
        options.workers = 3;
        options.again = again;
        options.keepGoing = keepGoing;
        m_observer.events.clear();
        return run::RunFolder(source, destination, options, m_observer);
    }

    // Whether every photo of folder is its clean run's result, byte for byte.
    void expectEnhancedOnce(const std::string &folder)
    {
        ASSERT_EQ(namesIn(folder), m_names);
        for (const std::string &name : m_names)
            EXPECT_EQ(readBytes(folder + "/" + name), readBytes(m_enhanced.file(name))) << name;
    }

    Names m_names;
    TempFolder m_originals;
    TempFolder m_enhanced;
    testing_support::RecordingObserver m_observer;
};

class StoppedAndRepeated : public RepeatedRun, public ::testing::WithParamInterface<bool>
{
};

// A run stopped by a damaged photo, repeated once the photo is mended, goes on where it stopped,
// in place and into another folder; the results of the first run are kept as they are. Run a
// third time it neither rewrites nor touches any photo.
TEST_P(StoppedAndRepeated, EnhancesEveryPhotoExactlyOnce)
{
    const bool inPlace = GetParam();
    const TempFolder source, other;
    copyOriginalsTo(source);
    const std::string destination = inPlace ? source.path() : other.path();
    testing_support::writeText(source.file("p3.jpg"), "half copied");

    const run::RunSummary first = runFolder(source.path(), destination);
    ASSERT_EQ(first.failures.size(), 1u);
    EXPECT_EQ(first.photosDone, 3);
    const timespec firstResult = modifiedOf(destination + "/p0.jpg");
    writeBytes(source.file("p3.jpg"), readBytes(m_originals.file("p3.jpg")));

    const run::RunSummary second = runFolder(source.path(), destination);

    expectEnhancedOnce(destination);
    EXPECT_EQ(second.photosAlreadyEnhanced, 3);
    EXPECT_EQ(second.photosDone, 3);
    EXPECT_TRUE(sameTime(modifiedOf(destination + "/p0.jpg"), firstResult));

    std::vector<timespec> times;
    for (const std::string &name : m_names)
        times.push_back(modifiedOf(destination + "/" + name));
    const run::RunSummary third = runFolder(source.path(), destination);
    expectEnhancedOnce(destination);
    for (std::size_t i = 0; i < m_names.size(); ++i)
        EXPECT_TRUE(sameTime(modifiedOf(destination + "/" + m_names[i]), times[i])) << m_names[i];
    EXPECT_EQ(m_observer.events[2], "already 1");
    EXPECT_FALSE(third.stopped);
    EXPECT_EQ(run::doneWords(third), "Done: 0 enhanced, 6 already enhanced");
}

INSTANTIATE_TEST_SUITE_P(Destinations, StoppedAndRepeated, ::testing::Values(true, false),
    [](const auto &info) { return std::string(info.param ? "InPlace" : "IntoAnotherFolder"); });

// Into another folder, what is there already decides: a result of an earlier run that its
// source has not outdated stays; anything else is written anew. A photo enhanced before is
// copied unchanged, with --again enhanced a second time.
TEST_F(RepeatedRun, IntoAnotherFolderKeepsOnlyResultsNotOlderThanTheirSource)
{
    const std::string photo = m_names[0];
    const Bytes original = readBytes(m_originals.file(photo));
    const Bytes enhanced = readBytes(m_enhanced.file(photo));
    const Bytes foreign = readBytes(m_originals.file(m_names[1]));
    struct Case {
        const char *what;
        Bytes source, destination; // empty destination: none
        time_t sourceTime, destinationTime;
        bool again;
        std::string event; // of the photo
        Bytes result; // empty: enhanced again, differing from both
    };
    const Case cases[] = {
        { "none there yet", original, {}, 1000, 0, false, "done 1", enhanced },
        { "a result", original, enhanced, 1000, 1000, false, "already 1", enhanced },
        { "a result older than its source", original, enhanced, 2000, 1000, false, "done 1",
            enhanced },
        { "another photo", original, foreign, 1000, 2000, false, "done 1", enhanced },
        { "an enhanced source", enhanced, {}, 1000, 0, false, "already 1", enhanced },
        { "an enhanced source over an older result", enhanced, foreign, 2000, 1000, false,
            "already 1", enhanced },
        { "an enhanced source, again", enhanced, {}, 1000, 0, true, "done 1", {} },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const TempFolder source, destination;
        writeBytes(source.file(photo), c.source);
        setModified(source.file(photo), c.sourceTime);
        if (!c.destination.empty()) {
            writeBytes(destination.file(photo), c.destination);
            setModified(destination.file(photo), c.destinationTime);
        }
        const Bytes before = c.destination;
        runFolder(source.path(), destination.path(), c.again);
        ASSERT_EQ(m_observer.events.size(), 3u);
        EXPECT_EQ(m_observer.events[2], c.event);
        const Bytes result = readBytes(destination.file(photo));
        if (c.result.empty()) {
            EXPECT_NE(result, c.source);
            EXPECT_TRUE(imageio::carriesEnhancementRecord(result));
        } else {
            EXPECT_EQ(result, c.result);
        }
    }
}

// A photo cut short is written as far as it decodes into another folder, with the warning, but
// never over itself, which may be a copy still to be completed; data the codec finds corrupt is
// a warning either way. With keepGoing the run goes on past the cut photo.
TEST_F(RepeatedRun, PhotosTheCodecWarnsAboutAreWrittenWithTheirWarnings)
{
    const Bytes whole = readBytes(m_originals.file("p5.jpg"));
    const Bytes cut(whole.begin(), whole.begin() + std::ptrdiff_t(whole.size() / 2));
    testjpeg::Recipe recipe;
    recipe.width = 64;
    recipe.height = 48;
    recipe.scans = testjpeg::Scans::Progressive;
    Bytes corrupt = testjpeg::makeJpeg(recipe);
    // Before the second scan's header, right after a table segment: bytes right after scan data
    // would be read as more of it.
    const std::uint8_t scanMarker[] = { 0xFF, 0xDA };
    const auto firstScan = std::search(
        corrupt.begin(), corrupt.end(), std::begin(scanMarker), std::end(scanMarker));
    corrupt.insert(std::search(firstScan + 2, corrupt.end(), std::begin(scanMarker),
                       std::end(scanMarker)),
        { 1, 2, 3 });

    for (const bool inPlace : { true, false }) {
        SCOPED_TRACE(inPlace ? "in place" : "into another folder");
        const TempFolder source, other;
        writeBytes(source.file("a.jpg"), cut);
        writeBytes(source.file("b.jpg"), corrupt);
        const std::string destination = inPlace ? source.path() : other.path();

        const run::RunSummary summary = runFolder(source.path(), destination, false, true);

        const std::string cutShort = "JPEG error #116: Premature end of JPEG file";
        ASSERT_EQ(summary.failures.size(), inPlace ? 1u : 0u);
        EXPECT_EQ(m_observer.events[2], inPlace ? "failed 1 a.jpg: " + cutShort : "done 1");
        EXPECT_EQ(readBytes(source.file("a.jpg")), cut);
        EXPECT_EQ(namesIn(destination), (Names { "a.jpg", "b.jpg" }));
        Names noted;
        for (const run::NotedPhoto &photo : summary.noted) {
            for (const std::string &line : run::noteLines(photo.notes))
                noted.push_back(photo.photo.name + ": " + line);
        }
        Names expected { "b.jpg: Corrupt JPEG data: 3 extraneous bytes before marker 0xda" };
        if (!inPlace)
            expected.insert(expected.begin(),
                { "a.jpg: Premature end of JPEG file",
                    "a.jpg: Corrupt JPEG data: premature end of data segment" });
        EXPECT_EQ(noted, expected);
    }
}

// Where the record cannot be written the photo is still enhanced, and the run says so: the
// photo is not marked, so a new run would enhance it again.
TEST_F(RepeatedRun, PhotoWithoutRoomForTheRecordIsEnhancedAndNoted)
{
    testjpeg::Recipe recipe;
    recipe.segments.push_back(testjpeg::xmpSegment("<x:xmpmeta xmlns:x='adobe:ns:meta/'/>"));
    const TempFolder folder;
    writeBytes(folder.file("a.jpg"), testjpeg::makeJpeg(recipe));

    for (int repeat = 0; repeat < 2; ++repeat) {
        const run::RunSummary summary = runFolder(folder.path(), folder.path());
        EXPECT_EQ(summary.photosDone, 1);
        ASSERT_EQ(summary.noted.size(), 1u);
        EXPECT_EQ(summary.noted[0].notes.record, imageio::RecordOutcome::PacketUnparsable);
    }
}

} // namespace
