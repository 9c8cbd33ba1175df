#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imageio {

// One kind of warning the codec gave while decoding a file: libjpeg's own text for its first
// occurrence (such as "Corrupt JPEG data: bad Huffman code") and how many times it came.
struct JpegWarning {
    std::string text;
    std::uint64_t count = 0;
};

// What the codec warned about while decoding one file. A file with warnings still decodes to a
// picture of its full size, but the codec made up the parts its data did not describe.
struct JpegWarnings {
    // The data ended before the picture's end marker: the picture below what was read is made
    // up, and the file may be a copy still to be completed. Its warning, "Premature end of JPEG
    // file", is among kinds too.
    bool endedEarly = false;
    // Each kind once, in the order first met; empty for a file that decoded cleanly.
    std::vector<JpegWarning> kinds;
};

} // namespace imageio
