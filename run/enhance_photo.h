#pragma once

#include "image/bitmap.h"
#include "platform/safe_file_writer.h"
#include "run/photo_notes.h"

#include <cstdint>
#include <functional>
#include <string>

namespace run {

// Owner of the working image that every photo reuses: it holds the photo being enhanced, as
// decoded; the enhancement keeps no other whole picture. The main window derives from it; a
// run's worker holds one. Between photos it is empty: a photo lets its picture go when it ends.
class TWorkingImages
{
public:
    image::TBitmap &FirstImage() { return m_first; }

private:
    image::TBitmap m_first;
};

// Reads the JPEG file at SourcePath, enhances it (enhanceLoadedPhoto) and writes it to
// DestPath at quality 90, progressive exactly when the source had more than one scan, with
// Lumivor's record added to its XMP where it can be (imageio::addEnhancementRecord). Errors
// pass out unchanged, running out of memory as core::EStreamError; DestPath is then as it was.
void EnhancePhoto(
    TWorkingImages &Window, const std::string &SourcePath, const std::string &DestPath);

// Called with the picture size a photo's header declares and whether it has several scans, after
// its file has been read and before it is decoded; may wait, and may throw to give the photo up.
using BeforeDecoding = std::function<void(int width, int height, bool multipleScans)>;

// Called with a photo's file size once its first bytes have passed their checks, before the rest
// is read; may wait, and may throw to give the photo up. The bytes are the caller's to count
// until the photo ends (see imageio::FileMemory).
using BeforeReading = std::function<void(std::uint64_t fileBytes)>;

// A photo enhanced but not yet put in place, and what there is to tell of it.
struct EnhancedPhoto {
    platform::PendingFile file;
    PhotoNotes notes;
};

// EnhancePhoto short of putting the result in place: the enhanced photo is written to a pending
// new version of DestPath, which the caller commits or lets go; with DestWithin, a folder that
// DestPath begins with, it stays inside that folder (platform::PendingFile). Throws as
// EnhancePhoto does, in the same order (the source's errors before the destination's). A
// picture too large for memoryBudget bytes (0: the machine's budget) fails with EJPEG 53 before
// it is decoded, a file larger than it with EStreamError before it is read. The notes hold the
// codec's warnings and what became of the record.
EnhancedPhoto EnhancePhotoPending(TWorkingImages &Window, const std::string &SourcePath,
    const std::string &DestPath, const BeforeDecoding &beforeDecoding = {},
    const std::string &DestWithin = std::string(), std::uint64_t memoryBudget = 0,
    const BeforeReading &beforeReading = {});

} // namespace run
