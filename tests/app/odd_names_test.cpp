// File and folder names are bytes: every one is read, enhanced and written under the same name,
// by the folder run and by lumivor-batch alike.
#include "app/batch_report.h"
#include "run/folder_run.h"

#include "batch_program.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::namesIn;
using testing_support::readBytes;
using testing_support::runBatchProgram;
using testing_support::TempFolder;
using testing_support::writeSamplePhoto;

namespace {

class SilentObserver : public run::RunObserver
{
public:
    void countKnown(int) override { }
    void photoStarted(const run::PhotoJob &, int) override { }
    void photoEnded(const run::PhotoOutcome &outcome) override
    {
        EXPECT_EQ(outcome.result, run::PhotoResult::Enhanced) << outcome.photo.name;
    }
};

const std::vector<std::string> &oddNames()
{
    static const std::vector<std::string> names {
        "with  two spaces .jpg", "it's \"quoted\".jpg", "-leading dash.jpg", "new\nline.jpg",
        "tab\tand back\\slash.jpg", "wild*card?[x].jpg",
        "\xce\x95\xce\xbb\xce\xbb\xce\xb7\xce\xbd\xce\xb9\xce\xba\xce\xac.jpg", // Greek
        "\xe5\x86\x99\xe7\x9c\x9f.jpg", // CJK
        "\xf0\x9f\x93\xb7 camera.jpg", // emoji
        "not utf-8 \xff\xfe\x80\xc3.jpg",
        std::string(251, 'n') + ".jpg", // the longest name a folder entry can have
    };
    return names;
}

void enhanceWithRunBatch(const std::string &source, const std::string &destination)
{
    SilentObserver observer;
    run::RunFolder(source, destination, {}, observer);
}

// Both ways of running give the same files under the same names, each an enhanced photo.
void expectSameNamesEnhanced(
    const std::string &source, const std::string &byRun, const std::string &byProgram)
{
    const std::vector<std::string> names = namesIn(source);
    EXPECT_EQ(namesIn(byRun), names);
    EXPECT_EQ(namesIn(byProgram), names);
    for (const std::string &name : names) {
        const std::vector<std::uint8_t> written = readBytes(byRun + "/" + name);
        EXPECT_FALSE(written.empty()) << name;
        EXPECT_NE(written, readBytes(source + "/" + name)) << name;
        EXPECT_EQ(readBytes(byProgram + "/" + name), written) << name;
    }
}

TEST(OddNames, EveryNameIsEnhancedUnderTheSameName)
{
    const TempFolder source, byRun, byProgram;
    int seed = 0;
    for (const std::string &name : oddNames())
        writeSamplePhoto(source.file(name), 24, 16, ++seed);
    ASSERT_EQ(namesIn(source.path()).size(), oddNames().size());

    enhanceWithRunBatch(source.path(), byRun.path());
    const testing_support::ProgramRun run
        = runBatchProgram({ "--jobs", "2", source.path(), byProgram.path() });
    EXPECT_EQ(run.exitStatus, 0) << run.errors;

    expectSameNamesEnhanced(source.path(), byRun.path(), byProgram.path());
    // Progress names each photo on a line of its own, whatever bytes its name holds.
    EXPECT_EQ(run.output, "");
    for (const std::string &name : oddNames())
        EXPECT_NE(run.errors.find("] " + app::printableName(name) + "\n"), std::string::npos)
            << name;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'),
              std::ptrdiff_t(oddNames().size()) + 1);
}

// Folders 60 deep, named with spaces and bytes that are not UTF-8, the source's name beginning
// with a dash and given to lumivor-batch relative to its working folder.
TEST(OddNames, FoldersSixtyDeepAndADashedRelativeSource)
{
    const TempFolder top;
    std::string nested = top.path();
    for (int level = 1; level <= 60; ++level) {
        nested += "/level " + std::to_string(level) + " \xe2\x80\x94\xff";
        ASSERT_EQ(mkdir(nested.c_str(), 0755), 0) << level;
    }
    const std::string source = nested + "/-photos";
    const std::string byRun = nested + "/by run";
    const std::string byProgram = nested + "/by program";
    for (const std::string &folder : { source, byRun, byProgram })
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    writeSamplePhoto(source + "/" + oddNames()[9], 30, 20, 1);
    writeSamplePhoto(source + "/deep.jpg", 30, 20, 2);

    enhanceWithRunBatch(source, byRun);
    EXPECT_EQ(runBatchProgram({ "--", "-photos", "by program" }, nested).exitStatus, 0);

    expectSameNamesEnhanced(source, byRun, byProgram);
}

// The folder below (names separated by "/") inside top, entered one name at a time, made first
// with create: however long below is, no path longer than one name is looked up.
int enterChain(const std::string &top, const std::string &below, bool create)
{
    int folder = open(top.c_str(), O_RDONLY | O_DIRECTORY);
    for (std::size_t start = 0; folder >= 0 && start < below.size();) {
        const std::size_t end = std::min(below.find('/', start), below.size());
        const std::string name = below.substr(start, end - start);
        start = end + 1;
        if (create)
            mkdirat(folder, name.c_str(), 0755);
        const int next = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(folder);
        folder = next;
    }
    return folder;
}

std::vector<std::uint8_t> readInChain(
    const std::string &top, const std::string &below, const std::string &name)
{
    const int folder = enterChain(top, below, false);
    const int file = folder >= 0 ? openat(folder, name.c_str(), O_RDONLY) : -1;
    std::vector<std::uint8_t> bytes(1 << 20);
    const ssize_t got = file >= 0 ? read(file, bytes.data(), bytes.size()) : 0;
    bytes.resize(std::size_t(std::max<ssize_t>(got, 0)));
    close(file);
    close(folder);
    return bytes;
}

// Everything inside the folder open as folder, which is closed; a tree too deep for nftw.
void emptyFolder(int folder)
{
    DIR *entries = fdopendir(folder);
    while (const dirent *entry = entries ? readdir(entries) : nullptr) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const int inner = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (inner >= 0)
            emptyFolder(inner);
        unlinkat(folder, name.c_str(), inner >= 0 ? AT_REMOVEDIR : 0);
    }
    if (entries)
        closedir(entries);
}

// A photo deeper below the source than a path may be long (PATH_MAX): -r finds it and a list
// names it, and either way it is enhanced to the same place below DEST, as it would be anywhere.
TEST(OddNames, PhotoDeeperThanAPathMayBeLong)
{
    const TempFolder top;
    std::string below;
    for (int level = 0; level < 20; ++level)
        below += (level ? "/" : "") + std::to_string(level) + std::string(250, 'd');
    ASSERT_GT(below.size(), std::size_t(PATH_MAX));
    const std::string source = top.file("source");
    const std::string flat = top.file("flat");
    for (const std::string &folder : { source, flat, top.file("flat out") })
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    writeSamplePhoto(flat + "/deep.jpg", 30, 20, 7);
    ASSERT_EQ(runBatchProgram({ flat, top.file("flat out") }).exitStatus, 0);
    const std::vector<std::uint8_t> photo = readBytes(flat + "/deep.jpg");
    const int bottom = enterChain(source, below, true);
    const int file = openat(bottom, "deep.jpg", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(file, photo.data(), photo.size()), ssize_t(photo.size()));
    close(file);
    close(bottom);

    for (const bool listed : { false, true }) {
        SCOPED_TRACE(listed ? "--files-from" : "-r");
        const std::string destination = top.file(listed ? "listed" : "walked");
        ASSERT_EQ(mkdir(destination.c_str(), 0755), 0);
        testing_support::ProgramSetup fromSource;
        fromSource.workingFolder = source;
        fromSource.input = below + "/deep.jpg\n";
        const testing_support::ProgramRun run = listed
            ? testing_support::runBatchProgram(
                { "-q", "--files-from", "-", destination }, fromSource)
            : runBatchProgram({ "-rq", source, destination });
        EXPECT_EQ(run.exitStatus, 0) << run.errors;
        EXPECT_EQ(
            readInChain(destination, below, "deep.jpg"), readBytes(top.file("flat out/deep.jpg")));
        emptyFolder(open(destination.c_str(), O_RDONLY | O_DIRECTORY));
    }

    // In place, a second run must see that the deep photo is its own destination and leave it,
    // not replace it by a copy of itself.
    for (int run = 0; run < 2; ++run)
        ASSERT_EQ(runBatchProgram({ "-rq", source, source }).exitStatus, 0);
    const auto inodeOfDeepPhoto = [&] {
        struct stat status {
        };
        const int folder = enterChain(source, below, false);
        fstatat(folder, "deep.jpg", &status, 0);
        close(folder);
        return status.st_ino;
    };
    const ino_t enhanced = inodeOfDeepPhoto();
    ASSERT_EQ(runBatchProgram({ "-rq", source, source }).exitStatus, 0);
    EXPECT_EQ(inodeOfDeepPhoto(), enhanced);
    EXPECT_EQ(readInChain(source, below, "deep.jpg"), readBytes(top.file("flat out/deep.jpg")));
    emptyFolder(open(source.c_str(), O_RDONLY | O_DIRECTORY));
}

} // namespace
