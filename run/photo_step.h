#pragma once

#include "platform/safe_file_writer.h"
#include "run/photo_job.h"

namespace run {

// What a run does with one photo, told from its files' first bytes and times before its picture
// is read.
struct PhotoStep {
    enum Kind {
        Enhance,
        Leave, // its destination holds its enhanced version already
        Copy, // it was enhanced before; its destination, another file, gets it unchanged
    };
    Kind kind = Enhance;
    // Whether the destination is the source file itself (the same device and inode; a link at
    // the destination, which the result would replace, is not the file it points to).
    bool inPlace = false;
};

// Without again: Leave when the destination is another regular file that carries Lumivor's
// record and is not older than the source (a run that was stopped had got that far), or when
// the source carries the record and is its own destination; Copy when the source carries it and
// the destination is another file; otherwise Enhance. With again always Enhance. Throws what
// imageio::fileCarriesEnhancementRecord throws for the source (EFOpenError, EReadError,
// EStreamError); a destination that cannot be read is taken as one to be written.
PhotoStep ChoosePhotoStep(const PhotoJob &photo, bool again);

// The source's bytes, unchanged, in a pending new version of the destination, written as
// EnhancePhotoPending writes a result (inside photo.destinationFolder when it is set). Throws
// EFOpenError or EReadError for the source, then as platform::PendingFile for the destination.
platform::PendingFile CopyPhotoPending(const PhotoJob &photo);

} // namespace run
