#pragma once

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace imageio {

// libjpeg's error manager for our guarded steps: a fatal error longjmps to `jump` with msg_code
// filled in; warnings and trace messages are dropped, and nothing is ever printed.
// It must live off the stack of the guarded step, next to the codec object it serves.
struct ErrorManager : jpeg_error_mgr {
    std::jmp_buf jump;
};

// Sets up `errors` and returns the pointer to put into cinfo.err.
jpeg_error_mgr *useErrorManager(ErrorManager &errors);

} // namespace imageio
