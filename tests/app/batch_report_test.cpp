#include "app/batch_report.h"
#include "core/error.h"
#include "imageio/errors.h"
#include "run/pace.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

TEST(BatchReport, ProgressLineFitsTheTerminal)
{
    struct Case {
        int done, count;
        std::string name;
        double seconds;
        int columns;
        bool dot;
        std::string expected;
    };
    const std::string longName = "2024/May/" + std::string(60, 'x') + ".jpg";
    const Case cases[] = {
        { 0, 3, "a.jpg", 0.5, 80, true, "[0/3] a.jpg" },
        { 1, 4, "a.jpg", 0.5, 80, true, "[1/4] a.jpg \xc2\xb7 2.0 photos/s \xc2\xb7 ETA 1.5 s" },
        { 30, 90, "b.jpg", 2, 80, false, "[30/90] b.jpg - 15 photos/s - ETA 4.0 s" },
        { 1, 2, "new\nline\x1b.jpg", 60, 80, false,
            "[1/2] new\\nline\\x1b.jpg - 0.0 photos/s - ETA 1:00" },
        { 0, 9, longName, 1, 30, true, "[0/9] \xe2\x80\xa6" + std::string(18, 'x') + ".jpg" },
        { 0, 9, longName, 1, 30, false, "[0/9] ..." + std::string(16, 'x') + ".jpg" },
    };
    for (const Case &c : cases)
        EXPECT_EQ(
            app::progressLine(c.done, c.count, c.name, c.seconds, c.columns, c.dot), c.expected);
}

TEST(BatchReport, DurationsAsPeopleReadThem)
{
    const std::pair<double, const char *> cases[] = { { 0, "0.0 s" }, { 59.94, "59.9 s" },
        { 59.96, "1:00" }, { 3599.4, "59:59" }, { 3600, "1:00:00" }, { 3725, "1:02:05" } };
    for (const auto &[seconds, text] : cases)
        EXPECT_EQ(run::formatDuration(seconds), text) << seconds;
}

// The words every front end shows: the message as it always was, then the plain reason.
TEST(BatchReport, ErrorsWithTheirPlainReason)
{
    const std::pair<std::exception_ptr, const char *> cases[] = {
        { std::make_exception_ptr(core::Error("Cannot create file /x/a.jpg", EACCES)),
            "Cannot create file /x/a.jpg: Permission denied" },
        { std::make_exception_ptr(core::Error("Stream read error")), "Stream read error" },
        { std::make_exception_ptr(imageio::EJPEG(52)), "JPEG error #52: Not a JPEG file" },
        { std::make_exception_ptr(imageio::EJPEG(14)),
            "JPEG error #14: Invalid progressive parameters" },
        { std::make_exception_ptr(imageio::EJPEG(53)), "JPEG error #53: Insufficient memory" },
        { std::make_exception_ptr(imageio::EJPEG(9999)), "JPEG error #9999" },
        { std::make_exception_ptr(std::bad_alloc()),
            "Out of memory while expanding memory stream" },
        { std::make_exception_ptr(std::logic_error("vector::_M_range_check")),
            "vector::_M_range_check" },
        { std::make_exception_ptr(42), "Unknown error" },
    };
    for (const auto &[error, text] : cases)
        EXPECT_EQ(core::wordsFor(error).joined(), text);
}

// What a run prints, captured; the clock advances one second each time it is read.
std::string reported(bool terminal, bool quiet)
{
    char *text = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&text, &size);
    double now = 0;
    {
        app::BatchReport report(out, { terminal, quiet, false, 80 }, [&] { return now++; });
        report.countKnown(3);
        report.photoStarted("a.jpg");
        report.photoFailed("/in/a.jpg", std::make_exception_ptr(imageio::EJPEG(52)));
        report.photoStarted("b.jpg");
        report.photoFinished("b.jpg");
        run::PhotoNotes notes;
        notes.warnings.kinds = { { "Corrupt JPEG data: bad Huffman code", 12 } };
        notes.record = imageio::RecordOutcome::PacketTooLarge;
        report.photoNoted("/in/b.jpg", notes);
        report.photoStarted("c.jpg");
        report.photoFinished("c.jpg", true);
        report.finish();
    }
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}

TEST(BatchReport, LinesOnAFileUpdatesOnATerminal)
{
    const std::string failure = "lumivor-batch: /in/a.jpg: JPEG error #52: Not a JPEG file\n";
    const std::string warnings
        = "lumivor-batch: /in/b.jpg: warning: Corrupt JPEG data: bad Huffman code (12 times)\n"
          "lumivor-batch: /in/b.jpg: warning: enhanced without Lumivor's record, as its XMP "
          "packet has no room for it: a new run will enhance it again\n";
    const std::string summaryEnd = " (1.0 photos/s), 1 already enhanced; 1 warning; 1 without "
                                   "record; 1 failure:\n"
                                   "  /in/a.jpg: JPEG error #52: Not a JPEG file\n";
    EXPECT_EQ(reported(false, false),
        failure + "[2/3] b.jpg\n" + warnings + "[3/3] c.jpg (already enhanced)\n"
            + "Enhanced 1 of 3 photos in 1.0 s" + summaryEnd);
    EXPECT_EQ(reported(false, true), failure + warnings);
    // The progress line is cleared before an error, a warning and the summary, so that none is
    // drawn over it.
    EXPECT_EQ(reported(true, false),
        "\r[0/3] a.jpg\x1b[K\r\x1b[K" + failure
            + "\r[1/3] a.jpg - 0.5 photos/s - ETA 4.0 s\x1b[K"
              "\r[1/3] b.jpg - 0.3 photos/s - ETA 6.0 s\x1b[K"
              "\r[2/3] b.jpg - 0.5 photos/s - ETA 2.0 s\x1b[K\r\x1b[K"
            + warnings
            + "\r[2/3] b.jpg - 0.4 photos/s - ETA 2.5 s\x1b[K"
              "\r[2/3] c.jpg - 0.3 photos/s - ETA 3.0 s\x1b[K"
              "\r[3/3] c.jpg - 0.4 photos/s - ETA 0.0 s\x1b[K\r\x1b[K"
              "Enhanced 1 of 3 photos in 8.0 s (0.1 photos/s), 1 already enhanced; 1 warning; 1 "
              "without record; 1 failure:\n"
              "  /in/a.jpg: JPEG error #52: Not a JPEG file\n");
}

} // namespace
