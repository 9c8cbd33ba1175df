#include "app/batch_run.h"

#include "imageio/errors.h"
#include "platform/file_errors.h"
#include "imageio/jpeg_image.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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

} // namespace
