#pragma once

#include <stdexcept>
#include <string>

namespace core {

// Base of every error this program reports; what() is the text the window shows, exactly as it
// stands. A file error may also carry the system's reason (an errno value), which the command
// line adds to the message and the window does not.
class Error : public std::runtime_error
{
public:
    explicit Error(const std::string &message, int systemError = 0);
    // The errno value behind the error, 0 when there is none.
    int systemError() const { return m_systemError; }

private:
    int m_systemError;
};

// "Out of memory while expanding memory stream": memory ran out for a photo's bytes, its picture
// or the codec's buffers.
class EStreamError : public Error
{
public:
    EStreamError();
};

} // namespace core
