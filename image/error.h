#pragma once

#include "core/error.h"

namespace image {

// A misuse of a working image, such as a row index outside the picture.
class EInvalidGraphicOperation : public core::Error
{
public:
    using core::Error::Error;
};

} // namespace image
