#pragma once

#include "app/enhance_photo.h"

#include <functional>
#include <string>

namespace app {

// What a folder run tells the one who shows it. Calls come from the thread that runs the batch;
// with several jobs, one at a time under a lock.
class BatchObserver
{
public:
    virtual ~BatchObserver() = default;
    // The counting pass found fileCount matching files.
    virtual void countKnown(int fileCount) = 0;
    // File number `number` (1-based) named `name` is about to be enhanced.
    virtual void fileStarted(const std::string &name, int number) = 0;
    // filesDone files have been enhanced and written.
    virtual void fileFinished(int filesDone) = 0;
    // Every file has been enhanced.
    virtual void done() = 0;
};

// The two folder texts, asked for afresh for every file, exactly as they stand.
struct BatchFolders {
    std::function<std::string()> source;
    std::function<std::string()> destination;
};

// Enhances every "*.jpg" of the source folder into the destination folder under the same name,
// in name order. A missing or empty source folder is no error. The first error ends the run at
// that file and passes out unchanged; the photos written before stay written.
void RunBatch(TWorkingImages &images, const BatchFolders &folders,
              BatchObserver &observer);

// The same run with `jobs` files enhanced at a time, each worker with its own working images.
// The output is identical to a run with one job. The first error in listing order stops new
// work, lets the files under way finish, and is then thrown.
void RunBatchInParallel(int jobs, const BatchFolders &folders, BatchObserver &observer);

} // namespace app
