#include "core/error.h"

#include <cstring>
#include <new>

namespace core {

Error::Error(const std::string &message, int systemError)
    : std::runtime_error(message)
    , m_systemError(systemError)
{
}

std::string Error::reason() const
{
    return m_systemError != 0 ? std::strerror(m_systemError) : std::string();
}

EStreamError::EStreamError()
    : Error("Out of memory while expanding memory stream")
{
}

std::string ErrorWords::joined() const
{
    if (message.empty() || reason.empty())
        return message + reason;
    return message + ": " + reason;
}

ErrorWords wordsFor(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Error &ours) {
        return { ours.what(), ours.reason() };
    } catch (const std::bad_alloc &) {
        return { EStreamError().what(), std::string() };
    } catch (const std::exception &other) {
        return { std::string(), other.what() };
    } catch (...) {
        return { std::string(), "Unknown error" };
    }
}

} // namespace core
