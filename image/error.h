#pragma once

#include <stdexcept>
#include <string>

namespace image {

// Base of every error this program reports; what() is the text the user sees.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A misuse of a working image, such as a row index outside the picture.
class EInvalidGraphicOperation : public Error
{
public:
    using Error::Error;
};

} // namespace image
