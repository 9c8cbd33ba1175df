#include "platform/file_reading.h"

#include "platform/file_descriptor.h"
#include "platform/file_errors.h"
#include "platform/long_paths.h"
#include "platform/memory.h"

#include <algorithm>
#include <new>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::vector<std::uint8_t> allocateBytes(off_t size)
{
    // Checked before allocating: the allocation of a file-sized buffer can succeed on an
    // overcommitting system and only fail, fatally, once the bytes are touched.
    if (std::uintmax_t(size) > std::vector<std::uint8_t>().max_size()
        || !fileFitsInMemory(std::uint64_t(size)))
        throw core::EStreamError();
    try {
        return std::vector<std::uint8_t>(std::size_t(size));
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    } catch (const std::length_error &) {
        throw core::EStreamError();
    }
}

void readExactly(int fd, std::uint8_t *into, std::size_t count)
{
    while (count > 0) {
        const ssize_t got = ::read(fd, into, count);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw EReadError(errno);
        if (got == 0)
            throw EReadError(); // the file has become shorter: no system error to name
        into += got;
        count -= std::size_t(got);
    }
}

// Opens the regular file at path for reading and tells its size. Throws EFOpenError.
FileDescriptor openRegularFile(const std::string &path, off_t &size)
{
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait forever. It changes
    // nothing for a regular file, the only kind we go on to read.
    FileDescriptor file = openPath(path, O_RDONLY | O_NONBLOCK);
    struct stat status = {};
    if (!file.valid() || ::fstat(file.get(), &status) != 0)
        throw EFOpenError(path, errno);
    if (!S_ISREG(status.st_mode))
        throw EFOpenError(path, S_ISDIR(status.st_mode) ? EISDIR : EPERM);
    size = status.st_size;
    return file;
}

} // namespace

std::vector<std::uint8_t> readWholeFile(
    const std::string &path, std::size_t firstBytes, const FirstBytesCheck &check)
{
    off_t size = 0;
    const FileDescriptor file = openRegularFile(path, size);
    std::vector<std::uint8_t> first;
    if (check) {
        first.resize(std::size_t(std::min<std::uintmax_t>(firstBytes, size)));
        readExactly(file.get(), first.data(), first.size());
        check(std::uint64_t(size), first.data(), first.size());
    }
    std::vector<std::uint8_t> bytes = allocateBytes(size);
    std::copy(first.begin(), first.end(), bytes.begin());
    readExactly(file.get(), bytes.data() + first.size(), bytes.size() - first.size());
    return bytes;
}

std::vector<std::uint8_t> readFileStart(const std::string &path, std::size_t most)
{
    off_t size = 0;
    const FileDescriptor file = openRegularFile(path, size);
    std::vector<std::uint8_t> bytes
        = allocateBytes(std::uintmax_t(size) > most ? off_t(most) : size);
    readExactly(file.get(), bytes.data(), bytes.size());
    return bytes;
}

void readFileInChunks(const std::string &path, std::size_t chunkBytes,
    const std::function<void(const std::vector<std::uint8_t> &chunk)> &take)
{
    off_t size = 0;
    const FileDescriptor file = openRegularFile(path, size);
    std::vector<std::uint8_t> chunk;
    for (std::uintmax_t left = std::uintmax_t(size); left > 0; left -= chunk.size()) {
        chunk.resize(std::size_t(std::min<std::uintmax_t>(left, chunkBytes)));
        readExactly(file.get(), chunk.data(), chunk.size());
        take(chunk);
    }
}

timespec modificationTime(const std::string &path)
{
    struct stat status = {};
    if (statPath(path, status) != 0)
        throw EFOpenError(path, errno);
    return status.st_mtim;
}

} // namespace platform
