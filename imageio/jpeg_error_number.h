#pragma once

namespace imageio {

// The number users see in "JPEG error #N" for one of libjpeg-turbo's message codes: the message
// number of classic libjpeg 6a where 6a had that message, else 1000 + the code itself.
int classicJpegErrorNumber(int msgCode);

} // namespace imageio
