#pragma once

#include "core/error.h"

#include <string>

namespace platform {

// "Cannot open file %s": a file cannot be opened for reading (missing, no access, not a regular
// file), or a folder cannot be listed.
class EFOpenError : public core::Error
{
public:
    explicit EFOpenError(const std::string &path, int systemError = 0);
};

// "Cannot create file %s": the destination cannot be created or replaced.
class EFCreateError : public core::Error
{
public:
    explicit EFCreateError(const std::string &path, int systemError = 0);
    // "Cannot create file %s: reason", for a refusal that no system error describes.
    EFCreateError(const std::string &path, const std::string &reason);
};

// "Stream read error": fewer bytes could be read than the file holds.
class EReadError : public core::Error
{
public:
    explicit EReadError(int systemError = 0);
};

// "Stream write error": writing the destination failed or fell short (a full disk).
class EWriteError : public core::Error
{
public:
    explicit EWriteError(int systemError = 0);
};

// A folder that cannot be entered, listed or created; what() names the folder and the reason.
class EInOutError : public core::Error
{
public:
    using core::Error::Error;
};

} // namespace platform
