#pragma once

#include "core/error.h"

namespace imageio {

// libjpeg's "Insufficient memory": the number of a picture too large for the memory there is.
constexpr int outOfMemoryNumber = 53;
// libjpeg's warning "Premature end of JPEG file": the number of a photo whose data ends before
// its picture does, where that is not to be let pass.
constexpr int prematureEndNumber = 116;

// "JPEG error #N", N being the classic libjpeg 6a message number of the codec's error.
class EJPEG : public core::Error
{
public:
    explicit EJPEG(int classicNumber);
    int Number() const { return m_number; }
    // libjpeg's own words for the error (see jpegErrorReason).
    std::string reason() const override;

private:
    int m_number;
};

} // namespace imageio
