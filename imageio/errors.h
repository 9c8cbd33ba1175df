#pragma once

#include "image/error.h"

#include <string>

namespace imageio {

// "Cannot open file %s": the source cannot be opened for reading (missing, no access, not a
// regular file).
class EFOpenError : public image::Error
{
public:
    explicit EFOpenError(const std::string &path);
};

// "Cannot create file %s": the destination cannot be created or replaced.
class EFCreateError : public image::Error
{
public:
    explicit EFCreateError(const std::string &path);
};

// "Stream read error": fewer bytes could be read than the file holds.
class EReadError : public image::Error
{
public:
    EReadError();
};

// "Stream write error": writing the destination failed or fell short (a full disk).
class EWriteError : public image::Error
{
public:
    EWriteError();
};

// "Out of memory while expanding memory stream".
class EStreamError : public image::Error
{
public:
    EStreamError();
};

// "JPEG error #N", N being the classic libjpeg 6a message number of the codec's error.
class EJPEG : public image::Error
{
public:
    explicit EJPEG(int classicNumber);
    int Number() const { return m_number; }

private:
    int m_number;
};

} // namespace imageio
