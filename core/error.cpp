#include "core/error.h"

namespace core {

Error::Error(const std::string &message, int systemError)
    : std::runtime_error(message)
    , m_systemError(systemError)
{
}

EStreamError::EStreamError()
    : Error("Out of memory while expanding memory stream")
{
}

} // namespace core
