// lumivor-batch as a user or a script meets it: its options, messages and exit statuses, run
// end to end through the built program.
#include "batch_program.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"

#include "lumivor_version.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::exists;
using testing_support::namesIn;
using testing_support::ProgramRun;
using testing_support::ProgramSetup;
using testing_support::readBytes;
using testing_support::runBatchProgram;
using testing_support::TempFolder;
using testing_support::writeSamplePhoto;
using testing_support::writeText;

namespace {

using Names = std::vector<std::string>;

// Every file below folder, as paths relative to it, sorted.
Names filesBelow(const std::string &folder, const std::string &below = "")
{
    Names files;
    for (const std::string &name : namesIn(folder + "/" + below)) {
        const std::string path = below + name;
        struct stat info {
        };
        lstat((folder + "/" + path).c_str(), &info);
        if (S_ISDIR(info.st_mode)) {
            const Names inner = filesBelow(folder, path + "/");
            files.insert(files.end(), inner.begin(), inner.end());
        } else {
            files.push_back(path);
        }
    }
    return files;
}

std::string replaced(std::string text, const std::string &placeholder, const std::string &value)
{
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
    return text;
}

// expected exactly, or with a trailing "..." its beginning.
void expectText(const std::string &actual, std::string expected)
{
    const std::string etc = "...";
    if (expected.size() >= etc.size()
        && expected.compare(expected.size() - etc.size(), etc.size(), etc) == 0) {
        expected.resize(expected.size() - etc.size());
        EXPECT_EQ(actual.substr(0, expected.size()), expected) << actual;
    } else {
        EXPECT_EQ(actual, expected);
    }
}

struct CommandCase {
    const char *what;
    std::vector<std::string> args; // {src}, {dst}, {file}, {missing} stand for the fixture's
    int exitStatus;
    std::string output; // as for expectText
    std::string errors;
};

void PrintTo(const CommandCase &commandCase, std::ostream *out)
{
    *out << commandCase.what;
}

class CommandLine : public ::testing::TestWithParam<CommandCase>
{
};

// A source with a.jpg and b.jpeg, an empty destination, a plain file and a missing name.
TEST_P(CommandLine, AnswersWithTheRightTextAndStatus)
{
    const TempFolder source, destination, other;
    writeSamplePhoto(source.file("a.jpg"), 24, 16, 1);
    writeSamplePhoto(source.file("b.jpeg"), 24, 16, 2);
    writeText(other.file("file"), "not a folder");
    const auto fill = [&](const std::string &text) {
        std::string filled = replaced(text, "{src}", source.path());
        filled = replaced(filled, "{dst}", destination.path());
        filled = replaced(filled, "{file}", other.file("file"));
        return replaced(filled, "{missing}", other.file("missing"));
    };
    std::vector<std::string> args;
    for (const std::string &arg : GetParam().args)
        args.push_back(fill(arg));

    const ProgramRun run = runBatchProgram(args);
    EXPECT_EQ(run.exitStatus, GetParam().exitStatus);
    expectText(run.output, fill(GetParam().output));
    expectText(run.errors, fill(GetParam().errors));
    const bool written = GetParam().exitStatus == 0 && GetParam().output.empty();
    EXPECT_EQ(namesIn(destination.path()).size(), written ? 2u : 0u);
}

const std::string tryHelp = "Try 'lumivor-batch --help' for more information.\n";

INSTANTIATE_TEST_SUITE_P(Cases, CommandLine,
    ::testing::Values(CommandCase { "version", { "--version" }, 0,
                          std::string("lumivor-batch (Lumivor) ") + lumivorVersion + "\n", "" },
        CommandCase { "help", { "--help" }, 0, R"(Usage: lumivor-batch [OPTION]... SOURCE DEST
  or:  lumivor-batch [OPTION]... --files-from LIST DEST
...)",
            "" },
        CommandCase { "progress and summary", { "{src}", "{dst}" }, 0, "",
            "[1/2] a.jpg\n[2/2] b.jpeg\nEnhanced 2 photos in ..." },
        CommandCase { "quiet", { "-q", "{src}", "{dst}" }, 0, "", "" },
        CommandCase { "unknown option", { "--fast", "{src}", "{dst}" }, 2, "",
            "lumivor-batch: unknown option '--fast'\n" + tryHelp },
        CommandCase { "one folder", { "{src}" }, 2, "",
            "lumivor-batch: give a source folder and a destination folder\n" + tryHelp },
        CommandCase { "missing source", { "{missing}", "{dst}" }, 1, "",
            "lumivor-batch: {missing}: No such file or directory\n" },
        CommandCase { "file as source", { "{file}", "{dst}" }, 1, "",
            "lumivor-batch: {file}: Not a directory\n" },
        CommandCase {
            "empty source", { "", "{dst}" }, 1, "", "lumivor-batch: No source folder given\n" },
        CommandCase { "missing destination", { "{src}", "{missing}" }, 1, "",
            "lumivor-batch: {missing}: No such file or directory\n" },
        CommandCase { "missing list", { "--files-from", "{missing}", "{dst}" }, 1, "",
            "lumivor-batch: {missing}: Cannot open file {missing}: No such file or "
            "directory\n" }));

// a.jpg, b.jpg (damaged) and c.jpg: without --keep-going the run stops at b, with it the run
// enhances c too, leaves b as it was and lists it in the summary; both exit with 1.
TEST(BatchCommand, DamagedPhotoStopsTheRunOrIsPassedOver)
{
    for (const bool keepGoing : { false, true }) {
        const TempFolder source, destination;
        writeSamplePhoto(source.file("a.jpg"), 24, 16, 1);
        writeText(source.file("b.jpg"), "not a photo");
        writeSamplePhoto(source.file("c.jpg"), 24, 16, 3);
        writeText(destination.file("b.jpg"), "older b");
        std::vector<std::string> args { source.path(), destination.path() };
        if (keepGoing)
            args.insert(args.begin(), "-k");

        const ProgramRun run = runBatchProgram(args);
        EXPECT_EQ(run.exitStatus, 1) << keepGoing;
        const std::string failure = source.file("b.jpg") + ": JPEG error #52: Not a JPEG file";
        EXPECT_NE(
            run.errors.find("[1/3] a.jpg\nlumivor-batch: " + failure + "\n"), std::string::npos)
            << run.errors;
        EXPECT_NE(run.errors.find("1 failure:\n  " + failure + "\n"), std::string::npos);
        const std::string older = "older b";
        EXPECT_EQ(readBytes(destination.file("b.jpg")),
            std::vector<std::uint8_t>(older.begin(), older.end()));
        EXPECT_EQ(namesIn(destination.path()),
            keepGoing ? Names({ "a.jpg", "b.jpg", "c.jpg" }) : Names({ "a.jpg", "b.jpg" }));
        EXPECT_NE(run.errors.find(keepGoing ? "[3/3] c.jpg\n" : "Enhanced 1 of 3 photos"),
            std::string::npos)
            << run.errors;
    }
}

// Run again over its results, a folder is left as it is and the summary says why; --again
// enhances every photo a second time.
TEST(BatchCommand, RepeatedRunLeavesEnhancedPhotosUnlessAskedAgain)
{
    const TempFolder folder;
    writeSamplePhoto(folder.file("a.jpg"), 24, 16, 1);
    writeSamplePhoto(folder.file("b.jpeg"), 24, 16, 2);
    ASSERT_EQ(runBatchProgram({ folder.path(), folder.path() }).exitStatus, 0);
    const auto enhanced = readBytes(folder.file("a.jpg"));

    const ProgramRun repeated = runBatchProgram({ folder.path(), folder.path() });
    EXPECT_EQ(repeated.exitStatus, 0);
    expectText(repeated.errors,
        "[1/2] a.jpg (already enhanced)\n[2/2] b.jpeg (already enhanced)\nEnhanced 0 of 2 "
        "photos in ...");
    EXPECT_NE(repeated.errors.find(", 2 already enhanced\n"), std::string::npos);
    EXPECT_EQ(readBytes(folder.file("a.jpg")), enhanced);

    const ProgramRun again = runBatchProgram({ "--again", folder.path(), folder.path() });
    EXPECT_EQ(again.exitStatus, 0);
    expectText(again.errors, "[1/2] a.jpg\n[2/2] b.jpeg\nEnhanced 2 photos in ...");
    EXPECT_NE(readBytes(folder.file("a.jpg")), enhanced);
}

// A photo cut short fails over itself, which stays as it is; written into another folder it is
// a warning, which -q keeps.
TEST(BatchCommand, PhotoCutShortFailsInPlaceAndIsAWarningElsewhere)
{
    const TempFolder source, destination;
    writeSamplePhoto(source.file("a.jpg"), 200, 150, 1);
    auto cut = readBytes(source.file("a.jpg"));
    cut.resize(cut.size() / 2);
    testing_support::writeBytes(source.file("a.jpg"), cut);
    const std::string prefix = "lumivor-batch: " + source.file("a.jpg") + ": ";

    const ProgramRun inPlace = runBatchProgram({ "-q", source.path(), source.path() });
    EXPECT_EQ(inPlace.exitStatus, 1);
    EXPECT_EQ(inPlace.errors, prefix + "JPEG error #116: Premature end of JPEG file\n");
    EXPECT_EQ(readBytes(source.file("a.jpg")), cut);

    const ProgramRun elsewhere = runBatchProgram({ "-q", source.path(), destination.path() });
    EXPECT_EQ(elsewhere.exitStatus, 0);
    EXPECT_EQ(elsewhere.errors,
        prefix + "warning: Premature end of JPEG file\n" + prefix
            + "warning: Corrupt JPEG data: premature end of data segment\n");
    EXPECT_EQ(namesIn(destination.path()), Names { "a.jpg" });
}

// A result folder that cannot be created (a file has its name): the photo fails with the
// system's reason, the others are enhanced.
TEST(BatchCommand, FileErrorsCarryTheSystemsReason)
{
    const TempFolder source, destination;
    ASSERT_EQ(mkdir(source.file("sub").c_str(), 0755), 0);
    writeSamplePhoto(source.file("sub/a.jpg"), 24, 16, 1);
    writeSamplePhoto(source.file("b.jpg"), 24, 16, 2);
    writeText(destination.file("sub"), "a file");

    const ProgramRun run = runBatchProgram({ "-rk", source.path(), destination.path() });
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(
        run.errors.find("\nlumivor-batch: " + source.file("sub/a.jpg") + ": Cannot create file "
            + destination.file("sub/a.jpg") + ": Not a directory\n"),
        std::string::npos)
        << run.errors;
    EXPECT_EQ(namesIn(destination.path()), (Names { "b.jpg", "sub" }));
}

// Folders of DEST that are links to folders elsewhere: neither -r nor a list writes through
// them or makes folders behind them; each photo there fails naming the link, the others are
// enhanced.
TEST(BatchCommand, FolderLinksBelowTheDestinationAreNotFollowed)
{
    const TempFolder source, destination, outside;
    for (const char *folder : { "a", "c", "c/sub" })
        ASSERT_EQ(mkdir(source.file(folder).c_str(), 0755), 0);
    for (const char *photo : { "a/x.jpg", "c/sub/y.jpg", "b.jpg" })
        writeSamplePhoto(source.file(photo), 24, 16, 1);
    writeText(outside.file("x.jpg"), "kept");
    for (const char *link : { "a", "c" })
        ASSERT_EQ(symlink(outside.path().c_str(), destination.file(link).c_str()), 0);
    const auto refusal = [&](const char *photo, const char *link) {
        return ": Cannot create file " + destination.file(photo) + ": " + destination.file(link)
            + " is a symbolic link, not followed below " + destination.path() + "\n";
    };

    ProgramSetup fromSource;
    fromSource.workingFolder = source.path();
    fromSource.input = "a/x.jpg\nc/sub/y.jpg\nb.jpg\n";
    for (const bool listed : { false, true }) {
        SCOPED_TRACE(listed ? "--files-from" : "-r");
        unlink(destination.file("b.jpg").c_str());
        const ProgramRun run = listed
            ? runBatchProgram({ "-kq", "--files-from", "-", destination.path() }, fromSource)
            : runBatchProgram({ "-rkq", source.path(), destination.path() });
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_NE(run.errors.find(refusal("a/x.jpg", "a")), std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find(refusal("c/sub/y.jpg", "c")), std::string::npos) << run.errors;
        EXPECT_EQ(namesIn(outside.path()), Names { "x.jpg" });
        EXPECT_EQ(
            readBytes(outside.file("x.jpg")), (std::vector<std::uint8_t> { 'k', 'e', 'p', 't' }));
        EXPECT_TRUE(exists(destination.file("b.jpg")));
    }
}

// A tree with a hidden folder, a link to a folder and the destination inside the source: the
// results keep the structure of what is walked, and a list of the same photos gives the same.
TEST(BatchCommand, RecursiveRunAndListGiveTheSameTree)
{
    const TempFolder top;
    const std::string source = top.file("photos");
    const std::string inside = source + "/enhanced";
    for (const std::string &folder :
        { source, source + "/2024", source + "/2024/May", source + "/.cache", inside })
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    writeSamplePhoto(source + "/a.jpg", 24, 16, 1);
    writeSamplePhoto(source + "/2024/b.JPG", 24, 16, 2);
    writeSamplePhoto(source + "/2024/May/c.jpeg", 24, 16, 3);
    writeSamplePhoto(source + "/.cache/hidden.jpg", 24, 16, 4);
    writeSamplePhoto(inside + "/earlier.jpg", 24, 16, 5);
    ASSERT_EQ(symlink("2024", (source + "/linked").c_str()), 0);

    const ProgramRun walked = runBatchProgram({ "-rq", source, inside });
    EXPECT_EQ(walked.exitStatus, 0) << walked.errors;
    EXPECT_EQ(walked.errors, "");
    EXPECT_EQ(
        filesBelow(inside), (Names { "2024/May/c.jpeg", "2024/b.JPG", "a.jpg", "earlier.jpg" }));

    const TempFolder listed;
    ProgramSetup setup;
    setup.workingFolder = source;
    setup.input = "./a.jpg\n2024//b.JPG\n\n" + source + "/2024/May/c.jpeg\n";
    const ProgramRun fromList
        = runBatchProgram({ "--files-from", "-", "-q", listed.path() }, setup);
    EXPECT_EQ(fromList.exitStatus, 0) << fromList.errors;
    // An absolute name keeps its whole path below DEST.
    const std::string absolute = source.substr(1) + "/2024/May/c.jpeg";
    EXPECT_EQ(filesBelow(listed.path()), (Names { "2024/b.JPG", "a.jpg", absolute }));
    EXPECT_EQ(readBytes(listed.file("2024/b.JPG")), readBytes(inside + "/2024/b.JPG"));
    EXPECT_EQ(readBytes(listed.file(absolute)), readBytes(inside + "/2024/May/c.jpeg"));
}

// Lists that cannot be taken as they are: nothing is written.
TEST(BatchCommand, ListsThatAreRefused)
{
    struct Refusal {
        const char *what;
        std::vector<std::string> options;
        std::string list;
        int exitStatus;
        std::string errors;
    };
    const Refusal refusals[] = {
        { "a path leaving DEST", {}, "a.jpg\n../a.jpg\n", 1,
            "lumivor-batch: ../a.jpg: names no photo that can be placed below {dst} (a folder, or "
            "a path with \"..\")\n" },
        { "NUL bytes without --null", {}, std::string("a.jpg\0b.jpg\0", 12), 2,
            "lumivor-batch: the list holds NUL bytes; give --null for a list that find -print0 "
            "wrote\nTry 'lumivor-batch --help' for more information.\n" },
        { "two names, one result", {}, "a.jpg\n./a.jpg\n", 1,
            "lumivor-batch: ./a.jpg: its result {dst}/a.jpg is also the result of a.jpg\n" },
    };
    for (const Refusal &refusal : refusals) {
        const TempFolder source, destination;
        writeSamplePhoto(source.file("a.jpg"), 24, 16, 1);
        ProgramSetup setup;
        setup.workingFolder = source.path();
        setup.input = refusal.list;
        std::vector<std::string> args { "--files-from", "-", destination.path() };
        const ProgramRun run = runBatchProgram(args, setup);
        EXPECT_EQ(run.exitStatus, refusal.exitStatus) << refusal.what;
        EXPECT_EQ(run.errors, replaced(refusal.errors, "{dst}", destination.path()))
            << refusal.what;
        EXPECT_EQ(namesIn(destination.path()), Names()) << refusal.what;
    }
}

// SOURCE inside DEST: the result of 2020/2020/x.jpg would land on 2020/x.jpg, another photo of
// the run, before or after that one is read. The run is refused before anything is written.
TEST(BatchCommand, ResultOverAnotherPhotoOfTheRunIsRefused)
{
    const TempFolder top;
    const std::string source = top.file("2020");
    ASSERT_EQ(mkdir(source.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((source + "/2020").c_str(), 0755), 0);
    writeSamplePhoto(source + "/x.jpg", 24, 16, 1);
    writeSamplePhoto(source + "/2020/x.jpg", 24, 16, 2);
    const std::vector<std::uint8_t> original = readBytes(source + "/x.jpg");

    const ProgramRun run = runBatchProgram({ "-r", source, top.path() });
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.errors,
        "lumivor-batch: " + source + "/2020/x.jpg: its result " + top.path()
            + "/2020/x.jpg would be written over " + source
            + "/x.jpg, another photo of this run\n");
    EXPECT_EQ(readBytes(source + "/x.jpg"), original);
    EXPECT_FALSE(exists(top.file("x.jpg")));
}

// With --preserve-times each result has its photo's modification time, also when it replaces
// the photo itself; without, a result is as new as its writing.
TEST(BatchCommand, PreserveTimesKeepsTheModificationTime)
{
    constexpr time_t longAgo = 1000000000; // September 2001
    for (const bool inPlace : { false, true }) {
        for (const bool preserve : { false, true }) {
            const TempFolder source, separate;
            const std::string destination = inPlace ? source.path() : separate.path();
            writeSamplePhoto(source.file("a.jpg"), 24, 16, 1);
            const timespec times[2] = { { longAgo, 0 }, { longAgo, 500 } };
            ASSERT_EQ(utimensat(AT_FDCWD, source.file("a.jpg").c_str(), times, 0), 0);
            std::vector<std::string> args { "-q", source.path(), destination };
            if (preserve)
                args.insert(args.begin(), "--preserve-times");

            EXPECT_EQ(runBatchProgram(args).exitStatus, 0);
            struct stat result {
            };
            ASSERT_EQ(stat((destination + "/a.jpg").c_str(), &result), 0);
            if (preserve) {
                EXPECT_EQ(result.st_mtim.tv_sec, longAgo) << inPlace;
                EXPECT_EQ(result.st_mtim.tv_nsec, 500) << inPlace;
            } else {
                EXPECT_GT(result.st_mtim.tv_sec, longAgo) << inPlace;
            }
        }
    }
}

// "lumivor-batch ... | head -1": the reader goes away, and the run still enhances every photo.
TEST(BatchCommand, ClosedPipeDoesNotEndTheRun)
{
    const TempFolder source, destination;
    for (int i = 0; i < 3; ++i)
        writeSamplePhoto(source.file(std::to_string(i) + ".jpg"), 24, 16, i);
    ProgramSetup setup;
    setup.closedPipe = true;
    const ProgramRun run = runBatchProgram({ source.path(), destination.path() }, setup);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(namesIn(destination.path()), namesIn(source.path()));
}

// Every photo in work holds files open: under a low open-file limit (ulimit -n 64, which the
// program cannot raise) the largest -j, with named temporaries, still gives -j 1's output.
TEST(BatchCommand, AnyJobsUnderALowOpenFileLimitGiveTheOutputOfOneJob)
{
    const TempFolder source, oneJob, manyJobs;
    for (int i = 0; i < 60; ++i)
        writeSamplePhoto(source.file("p" + std::to_string(i) + ".jpg"), 16, 12, i);
    ASSERT_EQ(runBatchProgram({ "-q", "-j", "1", source.path(), oneJob.path() }).exitStatus, 0);
    ProgramSetup limited;
    limited.openFileLimit = 64;
    limited.environment = { { "LUMIVOR_NAMED_TEMPORARIES", "1" } };
    const ProgramRun run
        = runBatchProgram({ "-q", "-j", "256", source.path(), manyJobs.path() }, limited);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    ASSERT_EQ(namesIn(manyJobs.path()), namesIn(oneJob.path()));
    for (const std::string &name : namesIn(oneJob.path()))
        EXPECT_EQ(readBytes(manyJobs.file(name)), readBytes(oneJob.file(name))) << name;
}

} // namespace
