#include "platform/file_errors.h"

namespace platform {

EFOpenError::EFOpenError(const std::string &path, int systemError)
    : core::Error("Cannot open file " + path, systemError)
{
}

EFCreateError::EFCreateError(const std::string &path, int systemError)
    : core::Error("Cannot create file " + path, systemError)
{
}

EFCreateError::EFCreateError(const std::string &path, const std::string &reason)
    : core::Error("Cannot create file " + path + ": " + reason)
{
}

EReadError::EReadError(int systemError)
    : core::Error("Stream read error", systemError)
{
}

EWriteError::EWriteError(int systemError)
    : core::Error("Stream write error", systemError)
{
}

} // namespace platform
