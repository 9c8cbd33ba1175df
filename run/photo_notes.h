#pragma once

#include "imageio/enhancement_record.h"
#include "imageio/jpeg_warnings.h"

namespace run {

// What there is to tell of a photo that was put in place besides its result.
struct PhotoNotes {
    // What the codec warned about while decoding it (also that its data ended early).
    imageio::JpegWarnings warnings;
    // What became of Lumivor's record in it: PacketTooLarge or PacketUnparsable when it was
    // enhanced without, so that a new run would enhance it again.
    imageio::RecordOutcome record = imageio::RecordOutcome::NotAsked;

    bool recordMissing() const
    {
        return record == imageio::RecordOutcome::PacketTooLarge
            || record == imageio::RecordOutcome::PacketUnparsable;
    }
    bool any() const { return !warnings.kinds.empty() || recordMissing(); }
};

} // namespace run
