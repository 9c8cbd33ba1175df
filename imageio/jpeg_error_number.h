#pragma once

#include <string>

namespace imageio {

// The number users see in "JPEG error #N" for one of libjpeg-turbo's message codes: the message
// number of classic libjpeg 6a where 6a had that message, else 1000 + the code itself.
int classicJpegErrorNumber(int msgCode);

// libjpeg-turbo's message for the error users see as classicNumber, said without the values
// that the codec would fill in ("Not a JPEG file" for 52); empty for a number that names none.
std::string jpegErrorReason(int classicNumber);

} // namespace imageio
