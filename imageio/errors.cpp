#include "imageio/errors.h"

#include "imageio/jpeg_error_number.h"

namespace imageio {

EJPEG::EJPEG(int classicNumber)
    : core::Error("JPEG error #" + std::to_string(classicNumber))
    , m_number(classicNumber)
{
}

std::string EJPEG::reason() const
{
    return jpegErrorReason(m_number);
}

} // namespace imageio
