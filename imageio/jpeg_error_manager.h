#pragma once

#include "imageio/jpeg_warnings.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <jpeglib.h>

namespace imageio {

// The codec's warnings during one use of a codec object, by kind (message code): the text of the
// first occurrence, formatted as it happens, and a count. Filled from the codec's callback, so
// of fixed size. libjpeg has about a dozen kinds of warning; kinds past mostKinds are not kept.
struct WarningTally {
    static constexpr int mostKinds = 16;
    struct Kind {
        int code;
        std::uint64_t count;
        char text[JMSG_LENGTH_MAX];
    };
    Kind kinds[mostKinds];
    int kindCount;
};

// libjpeg's error manager for our guarded steps: a fatal error longjmps to `jump` with msg_code
// filled in; warnings are tallied, trace messages dropped, and nothing is ever printed.
// It must live off the stack of the guarded step, next to the codec object it serves.
struct ErrorManager : jpeg_error_mgr {
    std::jmp_buf jump;
    WarningTally warnings;
};

// Sets up `errors` and returns the pointer to put into cinfo.err.
jpeg_error_mgr *useErrorManager(ErrorManager &errors);

// The warnings tallied in errors, in the order first met.
JpegWarnings warningsOf(const ErrorManager &errors);

} // namespace imageio
