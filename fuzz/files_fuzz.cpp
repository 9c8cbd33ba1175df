// libFuzzer target: arbitrary bytes as a small folder tree with links, built fresh for each input
// inside a private temporary folder, and a list of photos, then a run from its source into its
// destination as lumivor-batch makes it: the folder listing (with or without -r) or the
// --files-from list, the result folders made below DEST, and the photos enhanced. Besides the
// sanitizers' checks it holds the run to its promise for any tree: nothing outside DEST changes,
// however the folders below DEST or the source are linked. It never looks at anything outside
// its private folder.
#include "core/error.h"
#include "run/engine.h"
#include "run/photo_listing.h"
#include "tests/support/photos.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The private folder of this process, made once, and a small photo to copy into the trees.
struct Private {
    std::string folder;
    Bytes photo;
};

const Private &privateFolder()
{
    static const Private p = [] {
        Private made;
        // tmpfs where there is one: each photo put in place is flushed to disk.
        const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/lumivor-files-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        made.folder = pattern;
        const std::string sample = made.folder + "/sample.jpg";
        testing_support::writeSamplePhoto(sample, 8, 6, 1);
        std::ifstream in(sample, std::ios::binary);
        made.photo.assign(std::istreambuf_iterator<char>(in), {});
        unlink(sample.c_str());
        // Left empty after each input; removed at the end (a copy: p is gone by then).
        static std::string *left = new std::string(made.folder);
        std::atexit([] { rmdir(left->c_str()); });
        return made;
    }();
    return p;
}

// Removes the entry name of the folder open as parent and all inside it, never following a link.
void removeEntry(int parent, const char *name)
{
    fchmodat(parent, name, 0700, 0); // fails harmlessly on a link or a file
    const int folder = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        unlinkat(parent, name, 0);
        return;
    }
    if (DIR *entries = fdopendir(folder)) {
        while (const dirent *entry = readdir(entries))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                removeEntry(folder, entry->d_name);
        closedir(entries);
    } else {
        close(folder);
    }
    unlinkat(parent, name, AT_REMOVEDIR);
}

// What each entry below folder (a path inside the private folder) is, by its path relative to
// the private folder: kind, mode, and a file's bytes or a link's target. Links are not followed;
// the folder skip and what is inside it are left out.
void describe(const std::string &top, const std::string &below, const std::string &skip,
    std::map<std::string, std::string> &seen)
{
    const std::string path = top + "/" + below;
    struct stat status {
    };
    if (below == skip || lstat(path.c_str(), &status) != 0)
        return;
    std::string &what = seen[below];
    what = std::to_string(status.st_mode) + " ";
    if (S_ISLNK(status.st_mode)) {
        char target[4096];
        const ssize_t length = readlink(path.c_str(), target, sizeof target);
        what.append(target, std::size_t(std::max<ssize_t>(length, 0)));
    } else if (S_ISREG(status.st_mode)) {
        std::ifstream in(path, std::ios::binary);
        what.append(std::istreambuf_iterator<char>(in), {});
    } else if (S_ISDIR(status.st_mode)) {
        chmod(path.c_str(), status.st_mode | 0700); // looked into, then left as it was
        if (DIR *entries = opendir(path.c_str())) {
            std::vector<std::string> names;
            while (const dirent *entry = readdir(entries))
                if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                    names.emplace_back(entry->d_name);
            closedir(entries);
            for (const std::string &name : names)
                describe(top, below + "/" + name, skip, seen);
        }
        chmod(path.c_str(), status.st_mode & 07777);
    }
}

const char *const names[] = { "a", "b", "a.jpg", "B.JPG", "c.jpeg", ".h.jpg", "d", "e.jpg" };
constexpr std::size_t nameCount = sizeof names / sizeof names[0];
const mode_t folderModes[] = { 0, 0444, 0311, 0555 };

// Builds in tree (an empty folder) what the operations of 4 bytes each in data say, until a byte
// 0xff or the end; returns where they end. Folders 0, 1, 2 are "src", "dest" and "outside", or
// with destInSource "src/dest" for the second. Each operation: what to make, the folder it goes
// into, its name and, for a link, what it leads to (any entry made so far, by absolute or
// relative path).
std::size_t buildTree(const std::string &tree, const std::uint8_t *data, std::size_t size,
    bool destInSource, std::vector<std::string> &folders)
{
    folders = { "src", destInSource ? "src/dest" : "dest", "outside" };
    for (const std::string &folder : folders)
        mkdir((tree + "/" + folder).c_str(), 0755);
    std::vector<std::string> entries = folders;
    const Bytes &photo = privateFolder().photo;
    std::size_t at = 0;
    for (int made = 0; at + 4 <= size && data[at] != 0xff && made < 24; at += 4, ++made) {
        const std::string parent = folders[data[at + 1] % folders.size()];
        const std::string entry = parent + "/" + names[data[at + 2] % nameCount];
        const std::string path = tree + "/" + entry;
        const std::string &target = entries[data[at + 3] % entries.size()];
        switch (data[at] % 8) {
        case 0:
            if (mkdir(path.c_str(), 0755) == 0)
                folders.push_back(entry);
            break;
        case 1:
        case 2: {
            // Only a new file: writing into a FIFO made before would wait for a reader.
            const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            const std::string text = "not a photo";
            const Bytes content = data[at] % 8 == 1 ? photo : Bytes(text.begin(), text.end());
            if (file >= 0 && write(file, content.data(), content.size()) < 0)
                std::abort();
            close(file);
            break;
        }
        case 3:
            symlink((tree + "/" + target).c_str(), path.c_str());
            break;
        case 4: {
            std::string up;
            for (std::size_t slash = 0; (slash = parent.find('/', slash)) != std::string::npos;
                 ++slash)
                up += "../";
            symlink(("../" + up + target).c_str(), path.c_str());
            break;
        }
        case 5:
            symlink("nowhere", path.c_str());
            break;
        case 6:
            mkfifo(path.c_str(), 0644);
            break;
        case 7:
            chmod((tree + "/" + parent).c_str(), folderModes[data[at + 3] % 4]);
            break;
        }
        entries.push_back(entry);
    }
    return at;
}

struct QuietObserver : run::RunObserver {
    void countKnown(int) override { }
    void photoStarted(const run::PhotoJob &, int) override { }
    void photoEnded(const run::PhotoOutcome &) override { }
};

// The run lumivor-batch would make: from the list when one is given (names read from within the
// source, as "find . | lumivor-batch --files-from - DEST" run there), otherwise from the folder.
void runInto(const std::string &source, const std::string &destination, bool recursive,
    const std::string *list, int workers)
{
    std::vector<run::PhotoJob> jobs;
    try {
        if (list) {
            jobs = run::PhotosFromList(*list, false, destination);
        } else {
            jobs = run::PhotosInFolder(source, destination, recursive, [](const std::string &) {});
        }
        run::RefuseOverlappingResults(jobs);
    } catch (const core::Error &) {
        return; // a list naming a folder or going up, or two photos with one result
    } catch (const run::ListFormatError &) {
        return; // NUL bytes in a line-separated list
    }
    run::CreateResultFolders(destination, jobs);
    run::RunOptions options;
    options.workers = workers;
    options.keepGoing = true;
    options.memoryBudget = 64 << 20;
    QuietObserver observer;
    run::RunPhotoJobs(jobs, options, observer);
}

} // namespace

// Input: a byte of flags (1: -r, 2: a list, 4: DEST inside the source, 8: two workers, 16: the
// run made twice), the tree's operations (buildTree), then the list's text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::string &top = privateFolder().folder;
    const std::string tree = top + "/tree";
    if (mkdir(tree.c_str(), 0755) != 0)
        std::abort();
    const std::uint8_t flags = data[0];
    const bool destInSource = flags & 4;
    std::vector<std::string> folders;
    std::size_t listStart = 1 + buildTree(tree, data + 1, size - 1, destInSource, folders);
    listStart += listStart < size; // the 0xff that ended the operations
    const std::string list(reinterpret_cast<const char *>(data) + listStart, size - listStart);
    const std::string destination = tree + "/" + folders[1];
    std::map<std::string, std::string> before, after;
    describe(tree, "src", folders[1], before);
    describe(tree, "outside", folders[1], before);

    // The names made relative, so that the list never reaches out of the private folder.
    std::string relative = "./";
    for (const char c : list)
        relative += c == '\n' ? std::string("\n./") : std::string(1, c);
    static const int home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool listed = (flags & 2) && chdir((tree + "/src").c_str()) == 0;
    // A second run finds the first one's results: photos enhanced before are left or copied.
    for (int run = 0; run < (flags & 16 ? 2 : 1); ++run)
        runInto(
            tree + "/src", destination, flags & 1, listed ? &relative : nullptr, flags & 8 ? 2 : 1);
    if (listed && fchdir(home) != 0)
        std::abort();

    describe(tree, "src", folders[1], after);
    describe(tree, "outside", folders[1], after);
    if (after != before) {
        for (const auto &[path, what] : after)
            if (before.count(path) == 0 || before.at(path) != what)
                std::fprintf(stderr, "changed outside DEST: %s\n", path.c_str());
        for (const auto &[path, what] : before)
            if (after.count(path) == 0)
                std::fprintf(stderr, "removed outside DEST: %s\n", path.c_str());
        std::abort();
    }
    const int folder = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    removeEntry(folder, "tree");
    close(folder);
    return 0;
}
