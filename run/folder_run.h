#pragma once

#include "run/engine.h"

#include <string>

namespace run {

// Enhances every photo of the folder source (PhotosInFolder, without subfolders) into the folder
// destination under the same name, in name order: the window's run. Throws core::Error naming
// the folder when either folder text is empty, and platform::EFOpenError naming source, with
// the system's reason, when it does not exist, is not a folder or cannot be read; nothing is
// written then. A folder without photos is no error. Otherwise as RunPhotoJobs.
RunSummary RunFolder(const std::string &source, const std::string &destination,
    const RunOptions &options, RunObserver &observer);

} // namespace run
