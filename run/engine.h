#pragma once

#include "run/photo_job.h"
#include "run/photo_notes.h"
#include "run/stop_request.h"

#include <cstdint>
#include <exception>
#include <vector>

namespace run {

struct RunOptions {
    // Photos enhanced at a time; 0: one per usable core (platform::usableCores). 1 enhances one
    // photo at a time.
    int workers = 0;
    // Whether the run goes on past a photo that fails (which is left untouched); otherwise it
    // ends at the first failure in listing order.
    bool keepGoing = false;
    // Whether each output gets its source's modification time.
    bool preserveTimes = false;
    // Whether a photo that carries Lumivor's record is enhanced all the same (its result then
    // has a second entry); otherwise it is left as it is, or copied unchanged (ChoosePhotoStep).
    bool again = false;
    // Bytes the photos in work may hold at once (platform::photoWorkingBytes each), also what
    // the decoder counts on; 0: the machine's budget (platform::measureMemoryBudget).
    std::uint64_t memoryBudget = 0;
    // When made, ends the run early (see StopRequest); null: the run cannot be stopped.
    StopRequest *stop = nullptr;
};

// How one photo of a run ended.
enum class PhotoResult {
    Enhanced, // enhanced and put in place
    // It was enhanced before: its destination was left as it is, or given an unchanged copy
    AlreadyEnhanced,
    Failed, // left as it was
};

struct PhotoOutcome {
    const PhotoJob &photo;
    int number; // 1-based, in listing order
    PhotoResult result;
    std::exception_ptr error; // why it failed; null when it did not
    PhotoNotes notes; // empty unless it was enhanced
};

struct PhotoFailure {
    PhotoJob photo;
    std::exception_ptr error;
};

struct NotedPhoto {
    PhotoJob photo;
    PhotoNotes notes;
};

struct RunSummary {
    int photosDone = 0; // enhanced and put in place
    int photosAlreadyEnhanced = 0; // left as they were or copied unchanged (AlreadyEnhanced)
    std::vector<PhotoFailure> failures; // in listing order; without keepGoing at most one
    std::vector<NotedPhoto> noted; // enhanced photos with notes (PhotoNotes::any), listing order
    bool stopped = false; // a stop request ended the run before its last photo
};

// What a run tells the one who shows it. Every call comes from the thread that called the run
// (the one that also puts the photos in place), one at a time, in this order: countKnown, then
// for each photo in listing order photoStarted and, unless the run is stopped meanwhile,
// photoEnded.
class RunObserver
{
public:
    virtual ~RunObserver() = default;
    // The run has photoCount photos.
    virtual void countKnown(int photoCount) = 0;
    // Photo number `number` (1-based) is the next to be put in place.
    virtual void photoStarted(const PhotoJob &photo, int number) = 0;
    // The photo is in place, or has failed and was left as it was.
    virtual void photoEnded(const PhotoOutcome &outcome) = 0;
};

// Enhances every photo of jobs. Workers read, decode, enhance, encode and write photos ahead
// of time, in listing order, each into a pending file beside its destination; the calling
// thread puts them in place strictly in listing order, so that what is seen and what is
// written are those of enhancing one photo at a time. A worker waits before decoding a photo
// that would take the photos in work over the memory budget; a photo larger than the whole
// budget fails with "JPEG error #53". Running out of memory fails a photo with
// core::EStreamError. A photo that carries Lumivor's record is not enhanced again unless
// options.again (ChoosePhotoStep). A photo whose data ends early is written as decoded, with
// the warning in its notes, except over itself: there it fails with "JPEG error #116", since it
// may be a copy still to be completed. A photo that fails is reported (photoEnded, the summary)
// and left exactly as it was; without keepGoing every photo after it is left so too. A stop request ends the run
// as StopRequest says, with nothing temporary left. Returns once every worker has stopped;
// throws only when the run cannot start (core::EStreamError).
RunSummary RunPhotoJobs(
    const std::vector<PhotoJob> &jobs, const RunOptions &options, RunObserver &observer);

} // namespace run
