#include "imageio/errors.h"

namespace imageio {

EFOpenError::EFOpenError(const std::string &path)
    : image::Error("Cannot open file " + path)
{
}

EFCreateError::EFCreateError(const std::string &path)
    : image::Error("Cannot create file " + path)
{
}

EReadError::EReadError()
    : image::Error("Stream read error")
{
}

EWriteError::EWriteError()
    : image::Error("Stream write error")
{
}

EStreamError::EStreamError()
    : image::Error("Out of memory while expanding memory stream")
{
}

EJPEG::EJPEG(int classicNumber)
    : image::Error("JPEG error #" + std::to_string(classicNumber))
    , m_number(classicNumber)
{
}

} // namespace imageio
