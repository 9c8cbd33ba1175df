#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace app {

// One photo of a run: the name shown for it, the file it is read from and the file its
// enhanced version replaces or creates (byte strings, used as they are; both may be the same).
// destinationFolder, when set, is the folder destinationPath begins with (DEST): the result is
// written inside it without following a link on the way (see platform::PendingFile).
struct PhotoJob {
    std::string name;
    std::string sourcePath;
    std::string destinationPath;
    std::string destinationFolder = std::string();
};

struct RunOptions {
    // Photos enhanced at a time; 0: one per usable core (platform::usableCores). 1 enhances one
    // photo at a time.
    int workers = 0;
    // Whether a failing photo is reported (fileFailed), left untouched, and the run goes on to
    // the next; the run then returns its failures instead of throwing the first.
    bool keepGoing = false;
    // Whether each output gets its source's modification time.
    bool preserveTimes = false;
    // Bytes the photos in work may hold at once (platform::photoWorkingBytes each); 0: the
    // machine's budget (platform::measureMemoryBudget).
    std::uint64_t memoryBudget = 0;
};

// A photo that failed. message is what the user is shown ("" for an error that is not one of
// ours); systemError the errno value behind it, 0 when none.
struct PhotoFailure {
    std::string name;
    std::string message;
    int systemError = 0;
    std::exception_ptr error;
};

struct RunSummary {
    int photosDone = 0; // put in place
    std::vector<PhotoFailure> failures; // in listing order; only with keepGoing
};

// What a run tells the one who shows it. Every call comes from the thread that called the run
// (the one that also puts the photos in place), one at a time, in this order: countKnown, then
// for each photo in listing order fileStarted and fileFinished (or fileFailed), then done.
class BatchObserver
{
public:
    virtual ~BatchObserver() = default;
    // The run has fileCount photos.
    virtual void countKnown(int fileCount) = 0;
    // Photo number `number` (1-based) named `name` is the next to be put in place.
    virtual void fileStarted(const std::string &name, int number) = 0;
    // filesDone photos have been enhanced and put in place.
    virtual void fileFinished(int filesDone) = 0;
    // With keepGoing: the photo failed and was left untouched; the run goes on.
    virtual void fileFailed(const PhotoFailure &) { }
    // The run has ended without stopping on an error.
    virtual void done() = 0;
};

// Enhances every photo of jobs. Workers read, decode, enhance, encode and write photos ahead
// of time, in listing order, each into a pending file beside its destination; the calling
// thread puts them in place strictly in listing order, so that what is seen and what is
// written are those of enhancing one photo at a time. A worker waits before decoding a photo
// that would take the photos in work over the memory budget; a photo larger than the whole
// budget fails with "JPEG error #53". Running out of memory anywhere fails with
// core::EStreamError. Without keepGoing the first failure in listing order ends the run: the
// photos before it stay written, it and every photo after it are left exactly as they were, and
// its error is thrown once every worker has stopped.
RunSummary RunPhotoJobs(
    const std::vector<PhotoJob> &jobs, const RunOptions &options, BatchObserver &observer);

// The two folder texts, each asked for once per photo, exactly as they stand.
struct BatchFolders {
    std::function<std::string()> source;
    std::function<std::string()> destination;
};

// Enhances every "*.jpg" of the source folder (platform::FindMatchingFiles) into the
// destination folder under the same name, in name order. The photos are counted first
// (countKnown), then listed again; each listed photo's destination path and then its source
// path are composed from the folder texts as it is taken from that listing. A missing or empty
// source folder is no error. Otherwise as RunPhotoJobs.
RunSummary RunBatch(
    const BatchFolders &folders, BatchObserver &observer, const RunOptions &options = {});

} // namespace app
