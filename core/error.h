#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace core {

// Base of every error this program reports; what() is the text the window shows as its message,
// exactly as it stands. A file error may also carry the system's reason (an errno value).
class Error : public std::runtime_error
{
public:
    explicit Error(const std::string &message, int systemError = 0);
    // The errno value behind the error, 0 when there is none.
    int systemError() const { return m_systemError; }
    // The plain cause behind the message, for people: the system's wording of systemError() in
    // the user's language, empty when there is none. An error with a cause of its own (a JPEG
    // error number) says it here.
    virtual std::string reason() const;

private:
    int m_systemError;
};

// "Out of memory while expanding memory stream": memory ran out for a photo's bytes, its picture
// or the codec's buffers. The one message for running out of memory, std::bad_alloc included.
class EStreamError : public Error
{
public:
    EStreamError();
};

// What a person reads for an error, in two parts; the window's box, lumivor-batch's lines and
// its summary all take them from wordsFor.
struct ErrorWords {
    // The error's own text ("JPEG error #52", "Cannot create file /out/a.jpg"); empty for an
    // error that is not one of ours, whose text was never meant for users.
    std::string message;
    // Its plain cause: Error::reason() for ours, what() of any other std::exception, "Unknown
    // error" for anything else; empty when there is none.
    std::string reason;
    // "message: reason", or whichever of the two is not empty.
    std::string joined() const;
};

// The words for error (not null). std::bad_alloc reads as EStreamError.
ErrorWords wordsFor(const std::exception_ptr &error);

} // namespace core
