#include "imageio/jpeg_error_manager.h"

namespace imageio {

extern "C" {

static void jumpOut(j_common_ptr cinfo) noexcept
{
    std::longjmp(static_cast<ErrorManager *>(cinfo->err)->jump, 1); // msg_code already set
}

// Damaged picture data still decodes to whatever the codec makes of it: warnings are not counted
// and not reported.
static void dropMessage(j_common_ptr, int) noexcept { }

static void stayQuiet(j_common_ptr) noexcept { }

} // extern "C"

jpeg_error_mgr *useErrorManager(ErrorManager &errors)
{
    jpeg_error_mgr *manager = jpeg_std_error(&errors);
    errors.error_exit = jumpOut;
    errors.emit_message = dropMessage;
    errors.output_message = stayQuiet;
    return manager;
}

} // namespace imageio
