#include "platform/safe_file_writer.h"

#include "platform/file_errors.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

struct Destination {
    std::string path; // the file to replace, symbolic links resolved
    std::string folder;
    std::string name;
    bool exists = false;
    struct stat status = {};
};

std::string resolvedLink(const std::string &path)
{
    struct stat link = {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        return path;
    // Replace the file the link points to and keep the link; a dangling link is replaced itself.
    char *target = ::realpath(path.c_str(), nullptr);
    if (!target)
        return path;
    std::string resolved(target);
    std::free(target);
    return resolved;
}

Destination inspect(const std::string &requested)
{
    Destination dest;
    dest.path = resolvedLink(requested);
    const std::size_t slash = dest.path.rfind('/');
    if (slash == std::string::npos) {
        dest.folder = ".";
        dest.name = dest.path;
    } else {
        dest.folder = slash == 0 ? "/" : dest.path.substr(0, slash);
        dest.name = dest.path.substr(slash + 1);
    }
    if (dest.name.empty())
        throw EFCreateError(requested);

    if (::stat(dest.path.c_str(), &dest.status) == 0) {
        dest.exists = true;
        // The rename would replace a file we may not write, so ask as if writing in place. Root
        // passes that check for any file; a photo whose owner made it read-only (no write bit at
        // all) must stay untouched all the same.
        if (!S_ISREG(dest.status.st_mode) || (dest.status.st_mode & 0222) == 0
            || ::faccessat(AT_FDCWD, dest.path.c_str(), W_OK, AT_EACCESS) != 0)
            throw EFCreateError(requested);
    } else if (errno != ENOENT) {
        throw EFCreateError(requested);
    }
    return dest;
}

std::string uniqueSuffix(unsigned attempt)
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    unsigned long long seed = (unsigned long long)now.tv_nsec * 1000003ULL
        ^ (unsigned long long)::getpid() << 20 ^ attempt * 7919ULL;
    std::string suffix;
    for (int i = 0; i < 8; ++i) {
        suffix += digits[seed % 36];
        seed /= 36;
    }
    return suffix;
}

// A hidden file next to the destination, removed again unless it has been renamed into place.
class TemporaryFile
{
public:
    TemporaryFile(const Destination &dest, const std::string &requested)
    {
        // Keep the hidden name within NAME_MAX however long the destination's name is.
        const std::string stem = "." + dest.name.substr(0, 200) + ".";
        for (unsigned attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            m_path = dest.folder + "/" + stem + uniqueSuffix(attempt);
            m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
        if (m_fd < 0)
            throw EFCreateError(requested);
    }

    ~TemporaryFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_renamed)
            ::unlink(m_path.c_str());
    }

    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    void write(const std::vector<std::uint8_t> &bytes)
    {
        const std::uint8_t *next = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(m_fd, next, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                throw EWriteError();
            next += written;
            left -= std::size_t(written);
        }
    }

    void setTimes(const timespec &time)
    {
        const timespec times[2] = {{0, UTIME_OMIT}, time};   // access time, modification time
        if (::futimens(m_fd, times) != 0)
            throw EWriteError(errno);
    }

    void startFlush() noexcept
    {
        (void)::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    }

    void takeOwnershipAndMode(const struct stat &old, const std::string &requested)
    {
        // Only root can give the file back to another owner; anyone else keeps it as theirs.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)!::fchown(m_fd, old.st_uid, old.st_gid);
        if (::fchmod(m_fd, old.st_mode & 07777) != 0)
            throw EFCreateError(requested);
    }

    void flushAndClose()
    {
        const bool synced = ::fsync(m_fd) == 0;
        const bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        if (!synced || !closed)
            throw EWriteError();
    }

    void renameTo(const std::string &path, const std::string &requested)
    {
        if (::rename(m_path.c_str(), path.c_str()) != 0)
            throw EFCreateError(requested);
        m_renamed = true;
    }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_renamed = false;
};

// The rename itself reaches the disk only with the folder; nothing is lost if this fails.
void flushFolder(const std::string &folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

struct PendingFile::State {
    State(const std::string &path)
        : requested(path)
        , destination(inspect(path))
        , temporary(destination, path)
    {
    }
    std::string requested;
    Destination destination;
    TemporaryFile temporary;
};

PendingFile::PendingFile(const std::string &path)
    : m_state(std::make_unique<State>(path))
{
}

PendingFile::~PendingFile() = default;
PendingFile::PendingFile(PendingFile &&) noexcept = default;
PendingFile &PendingFile::operator=(PendingFile &&) noexcept = default;

void PendingFile::write(const std::vector<std::uint8_t> &bytes)
{
    m_state->temporary.write(bytes);
}

void PendingFile::setModificationTime(const timespec &time)
{
    m_state->temporary.setTimes(time);
}

void PendingFile::startFlush() noexcept
{
    m_state->temporary.startFlush();
}

void PendingFile::commit()
{
    State &s = *m_state;
    if (s.destination.exists)
        s.temporary.takeOwnershipAndMode(s.destination.status, s.requested);
    s.temporary.flushAndClose();
    s.temporary.renameTo(s.destination.path, s.requested);
    flushFolder(s.destination.folder);
}

void replaceFileContents(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    PendingFile file(path);
    file.write(bytes);
    file.commit();
}

} // namespace platform
