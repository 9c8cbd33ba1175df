#include "run/photo_step.h"

#include "core/error.h"
#include "imageio/enhancement_record.h"
#include "platform/file_reading.h"
#include "platform/folder_tree.h"

#include <new>
#include <optional>
#include <tuple>

namespace run {

namespace {

// A copy passes through a buffer of this size, not the whole photo at once.
constexpr std::size_t copyChunkBytes = 1 << 20;

bool notOlder(const timespec &time, const timespec &than)
{
    return std::tie(time.tv_sec, time.tv_nsec) >= std::tie(than.tv_sec, than.tv_nsec);
}

// Whether the destination already holds a result of an earlier run that the source has not
// outdated. Its errors say only that it must be written anew.
bool resultInPlace(const std::string &destination, const platform::PathInfo &destinationInfo,
    const platform::PathInfo &sourceInfo)
{
    if (!destinationInfo.isRegularFile || !sourceInfo.exists()
        || !notOlder(destinationInfo.modified, sourceInfo.modified))
        return false;
    try {
        return imageio::fileCarriesEnhancementRecord(destination);
    } catch (const core::EStreamError &) {
        throw;
    } catch (const core::Error &) {
        return false;
    }
}

} // namespace

PhotoStep ChoosePhotoStep(const PhotoJob &photo, bool again)
{
    const platform::PathInfo source = platform::InspectPath(photo.sourcePath);
    const platform::PathInfo destination = platform::InspectEntry(photo.destinationPath);
    PhotoStep step;
    step.inPlace = source.sameAs(destination);
    if (again)
        return step;
    if (!step.inPlace && resultInPlace(photo.destinationPath, destination, source))
        step.kind = PhotoStep::Leave;
    else if (imageio::fileCarriesEnhancementRecord(photo.sourcePath))
        step.kind = step.inPlace ? PhotoStep::Leave : PhotoStep::Copy;
    return step;
}

platform::PendingFile CopyPhotoPending(const PhotoJob &photo)
{
    try {
        // The source is opened first, so that its errors come before the destination's.
        std::optional<platform::PendingFile> file;
        platform::readFileInChunks(photo.sourcePath, copyChunkBytes,
            [&](const std::vector<std::uint8_t> &chunk) {
                if (!file)
                    file.emplace(photo.destinationPath, photo.destinationFolder);
                file->write(chunk);
            });
        if (!file)
            file.emplace(photo.destinationPath, photo.destinationFolder);
        return std::move(*file);
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

} // namespace run
