#pragma once

#include "core/error.h"

namespace imageio {

// "JPEG error #N", N being the classic libjpeg 6a message number of the codec's error.
class EJPEG : public core::Error
{
public:
    explicit EJPEG(int classicNumber);
    int Number() const { return m_number; }

private:
    int m_number;
};

} // namespace imageio
