#include "imageio/jpeg_error_manager.h"

#include <jerror.h>

namespace imageio {

extern "C" {

static void jumpOut(j_common_ptr cinfo) noexcept
{
    std::longjmp(static_cast<ErrorManager *>(cinfo->err)->jump, 1); // msg_code already set
}

// Damaged picture data still decodes to whatever the codec makes of it, but the caller learns
// of it: warnings (level -1) are tallied by kind. Trace messages are dropped.
static void tallyWarning(j_common_ptr cinfo, int level) noexcept
{
    if (level >= 0)
        return;
    auto *errors = static_cast<ErrorManager *>(cinfo->err);
    ++errors->num_warnings;
    WarningTally &tally = errors->warnings;
    for (int i = 0; i < tally.kindCount; ++i) {
        if (tally.kinds[i].code == errors->msg_code) {
            ++tally.kinds[i].count;
            return;
        }
    }
    if (tally.kindCount == WarningTally::mostKinds)
        return;
    WarningTally::Kind &kind = tally.kinds[tally.kindCount++];
    kind.code = errors->msg_code;
    kind.count = 1;
    errors->format_message(cinfo, kind.text);
}

static void stayQuiet(j_common_ptr) noexcept { }

} // extern "C"

jpeg_error_mgr *useErrorManager(ErrorManager &errors)
{
    jpeg_error_mgr *manager = jpeg_std_error(&errors);
    errors.error_exit = jumpOut;
    errors.emit_message = tallyWarning;
    errors.output_message = stayQuiet;
    errors.warnings.kindCount = 0;
    return manager;
}

JpegWarnings warningsOf(const ErrorManager &errors)
{
    JpegWarnings warnings;
    const WarningTally &tally = errors.warnings;
    for (int i = 0; i < tally.kindCount; ++i) {
        const WarningTally::Kind &kind = tally.kinds[i];
        warnings.endedEarly = warnings.endedEarly || kind.code == JWRN_JPEG_EOF;
        warnings.kinds.push_back({ kind.text, kind.count });
    }
    return warnings;
}

} // namespace imageio
