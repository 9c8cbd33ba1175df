#include "imageio/errors.h"

namespace imageio {

EJPEG::EJPEG(int classicNumber)
    : core::Error("JPEG error #" + std::to_string(classicNumber))
    , m_number(classicNumber)
{
}

} // namespace imageio
