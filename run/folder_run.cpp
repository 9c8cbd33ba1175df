#include "run/folder_run.h"

#include "core/error.h"
#include "run/photo_listing.h"

namespace run {

RunSummary RunFolder(const std::string &source, const std::string &destination,
    const RunOptions &options, RunObserver &observer)
{
    // An empty destination would put every result at the top of the file system.
    if (source.empty())
        throw core::Error("No source folder given");
    if (destination.empty())
        throw core::Error("No destination folder given");
    const std::vector<PhotoJob> photos
        = PhotosInFolder(source, destination, false, [](const std::string &) { throw; });
    return RunPhotoJobs(photos, options, observer);
}

} // namespace run
