#include "platform/safe_file_writer.h"

#include "platform/file_descriptor.h"
#include "platform/file_errors.h"
#include "platform/folder_below.h"
#include "platform/signal_cleanup.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {

namespace {

// What the destination's name holds before it is replaced.
enum class Occupant { Nothing, Link, File };

struct Destination {
    Occupant occupant = Occupant::Nothing;
    struct stat status = {}; // of the file, when there is one
};

// The folder of the destination, open, and the name in it. Everything after opening works
// relative to the folder's descriptor: the folder cannot be swapped for another mid-save, and
// no path longer than the destination's own is ever formed.
struct Place {
    FileDescriptor folder;
    bool canSync = true;
    std::string name;
};

// Whether path lies below the folder within as written: within, "/", then at least one byte.
bool startsWithFolder(const std::string &path, const std::string &within)
{
    return path.size() > within.size() + 1 && path.compare(0, within.size(), within) == 0
        && path[within.size()] == '/';
}

// The folder of path and the name in it. Without within the folder is opened as named; with
// it, within is, and the folders between within and the name are entered without following a
// link, so that a link among them cannot lead the new version out of within.
Place openPlace(const std::string &path, const std::string &within)
{
    std::string top = within;
    std::string below; // path relative to top
    if (within.empty()) {
        const std::size_t slash = path.rfind('/');
        top = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        below = slash == std::string::npos ? path : path.substr(slash + 1);
    } else if (startsWithFolder(path, within)) {
        below = path.substr(within.size() + 1);
    } else {
        throw EFCreateError(path, EXDEV);
    }
    const std::size_t slash = below.rfind('/');
    Place place;
    place.name = slash == std::string::npos ? below : below.substr(slash + 1);
    if (place.name.empty())
        throw EFCreateError(path, path.empty() ? ENOENT : EISDIR);
    FolderBelow folder
        = enterFolderBelow(top, slash == std::string::npos ? "" : below.substr(0, slash), false);
    if (folder.isLink)
        throw EFCreateError(
            path, folder.failedPath + " is a symbolic link, not followed below " + within);
    if (!folder.folder.valid())
        throw EFCreateError(path, folder.error);
    place.folder = std::move(folder.folder);
    // A folder we may write in but not list is fine: only its entries cannot be flushed.
    place.canSync = folder.readable;
    return place;
}

Destination inspect(const Place &place, const std::string &path)
{
    Destination dest;
    const char *name = place.name.c_str();
    if (::fstatat(place.folder.get(), name, &dest.status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            throw EFCreateError(path, errno);
        return dest;
    }
    if (S_ISLNK(dest.status.st_mode)) {
        // The link itself is replaced: what it points to, here or anywhere, is never written.
        dest.occupant = Occupant::Link;
        return dest;
    }
    if (!S_ISREG(dest.status.st_mode))
        throw EFCreateError(path, S_ISDIR(dest.status.st_mode) ? EISDIR : EPERM);
    // The rename would replace a file we may not write, so ask as if writing in place. Root
    // passes that check for any file; a photo whose owner made it read-only (no write bit at
    // all) must stay untouched all the same.
    if ((dest.status.st_mode & 0222) == 0)
        throw EFCreateError(path, EACCES);
    if (::faccessat(place.folder.get(), name, W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
        throw EFCreateError(path, errno);
    dest.occupant = Occupant::File;
    return dest;
}

// ".name.k3x9a0qz": hidden, after the photo, unique enough that a clash is a rare retry.
std::string hiddenName(const std::string &name)
{
    static std::atomic<unsigned long long> counter { 0 };
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    unsigned long long seed = (unsigned long long)now.tv_nsec ^ (unsigned long long)now.tv_sec << 30
        ^ (unsigned long long)::getpid() << 20 ^ counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL;
    seed = (seed ^ seed >> 30) * 0xBF58476D1CE4E5B9ULL;
    seed = (seed ^ seed >> 27) * 0x94D049BB133111EBULL;
    seed ^= seed >> 31;
    // Within NAME_MAX however long the photo's name is.
    std::string hidden = "." + name.substr(0, 200) + ".";
    for (int i = 0; i < 8; ++i) {
        hidden += digits[seed % 36];
        seed /= 36;
    }
    return hidden;
}

// The permission bits of a file created with 0666 now. Read from the kernel: setting the umask
// to learn it would race with files created meanwhile by other threads.
mode_t newFileMode()
{
    const FileDescriptor status(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    char text[4096];
    std::size_t length = 0;
    while (status.valid() && length < sizeof text - 1) {
        const ssize_t got = ::read(status.get(), text + length, sizeof text - 1 - length);
        if (got <= 0)
            break;
        length += std::size_t(got);
    }
    text[length] = '\0';
    if (const char *line = std::strstr(text, "\nUmask:"))
        return 0666 & ~mode_t(std::strtoul(line + 7, nullptr, 8));
    static std::mutex asking;
    const std::lock_guard<std::mutex> lock(asking);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A failure that leaves one extended attribute behind without stopping the save: this process
// may not set that namespace (security.*, trusted.*), the file system does not take it, or it
// changed meanwhile. Refusing would make such a photo unsaveable for good. A full or failing
// disk, or memory running out, fails the save instead, as it does for the picture: the old
// photo then stays with all its attributes.
bool attributeFailureMatters(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EIO || error == ENOMEM;
}

// The extended attributes of the file about to be replaced, read through a descriptor, or for a
// file we may write but not read, through the /proc link of one opened only as a path.
class AttributeSource
{
public:
    AttributeSource(int folderFd, const std::string &name)
        : m_fd(::openat(
            folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC))
    {
        if (m_fd.valid() || errno == ENOENT)
            return;
        m_fd = FileDescriptor(::openat(folderFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (m_fd.valid())
            m_procPath = "/proc/self/fd/" + std::to_string(m_fd.get());
    }

    bool valid() const { return m_fd.valid(); }

    ssize_t list(char *into, std::size_t size) const
    {
        return m_procPath.empty() ? ::flistxattr(m_fd.get(), into, size)
                                  : ::listxattr(m_procPath.c_str(), into, size);
    }

    ssize_t get(const char *attribute, char *into, std::size_t size) const
    {
        return m_procPath.empty() ? ::fgetxattr(m_fd.get(), attribute, into, size)
                                  : ::getxattr(m_procPath.c_str(), attribute, into, size);
    }

private:
    FileDescriptor m_fd;
    std::string m_procPath;
};

// Linux's limits for one attribute's value and for the list of names.
constexpr std::size_t attributeValueMax = 65536;
constexpr std::size_t attributeListMax = 65536;

void copyAttributes(int folderFd, const std::string &name, int toFd)
{
    const AttributeSource from(folderFd, name);
    if (!from.valid())
        return; // gone meanwhile: nothing left to carry over
    ssize_t listed = from.list(nullptr, 0);
    if (listed == 0)
        return;
    std::vector<char> names(attributeListMax);
    if (listed > 0)
        listed = from.list(names.data(), names.size());
    if (listed < 0) {
        if (attributeFailureMatters(errno))
            throw EWriteError(errno);
        return;
    }
    std::vector<char> value(attributeValueMax);
    for (std::size_t at = 0; at < std::size_t(listed); at += std::strlen(&names[at]) + 1) {
        const char *attribute = &names[at];
        const ssize_t size = from.get(attribute, value.data(), value.size());
        if ((size < 0 || ::fsetxattr(toFd, attribute, value.data(), std::size_t(size), 0) != 0)
            && attributeFailureMatters(errno))
            throw EWriteError(errno);
    }
}

bool unnamedTemporariesUsable()
{
    // An unnamed file is linked in through its /proc/self/fd entry (see placeAs).
    static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
    return procFds && !std::getenv("LUMIVOR_NAMED_TEMPORARIES");
}

// The new version while it is written: an unnamed file in the destination's folder where the
// file system has them (O_TMPFILE), a hidden named one otherwise. Either is created 0600, so no
// one else can read it before it takes the photo's own mode, and the unnamed one cannot even be
// found. A named one is registered for removal by a terminating signal and removed when this
// goes, unless it has been put in place.
class Temporary
{
public:
    Temporary(const Place &place, const std::string &path)
        : m_folderFd(place.folder.get())
    {
        if (unnamedTemporariesUsable()) {
            m_fd = FileDescriptor(
                ::openat(m_folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, S_IRUSR | S_IWUSR));
            // These three say that the kernel or the file system has no unnamed files.
            if (!m_fd.valid() && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                throw EFCreateError(path, errno);
        }
        struct stat status;
        if (!m_fd.valid())
            createNamed(place.name, path);
        else if (::fstat(m_fd.get(), &status) == 0)
            remember(status);
        else
            throw EFCreateError(path, errno);
    }

    ~Temporary()
    {
        if (!m_placed && !m_hiddenName.empty())
            removeIfSameFile(m_folderFd, m_hiddenName.c_str(), m_device, m_inode);
    }

    Temporary(const Temporary &) = delete;
    Temporary &operator=(const Temporary &) = delete;

    void write(const std::vector<std::uint8_t> &bytes)
    {
        const std::uint8_t *next = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(m_fd.get(), next, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0)
                throw EWriteError(errno);
            if (written == 0)
                throw EWriteError(ENOSPC);
            next += written;
            left -= std::size_t(written);
        }
    }

    void setTimes(const timespec &time)
    {
        const timespec times[2] = { { 0, UTIME_OMIT }, time }; // access, modification
        if (::futimens(m_fd.get(), times) != 0)
            throw EWriteError(errno);
    }

    void startFlush() noexcept { (void)::sync_file_range(m_fd.get(), 0, 0, SYNC_FILE_RANGE_WRITE); }

    void flush()
    {
        if (::fsync(m_fd.get()) != 0)
            throw EWriteError(errno);
    }

    // Gives the new version the owner, extended attributes and permission bits of the file it
    // replaces. They reach the disk with the folder's flush after the rename.
    void takeOver(const Place &place, const Destination &old, const std::string &path)
    {
        if (old.occupant != Occupant::File) {
            if (::fchmod(m_fd.get(), newFileMode()) != 0)
                throw EFCreateError(path, errno);
            return;
        }
        // Only root can give the file back to another owner; anyone else keeps it as theirs.
        // Before the attributes: a change of owner drops file capabilities.
        if (old.status.st_uid != m_owner || old.status.st_gid != m_group)
            (void)!::fchown(m_fd.get(), old.status.st_uid, old.status.st_gid);
        copyAttributes(place.folder.get(), place.name, m_fd.get());
        if (::fchmod(m_fd.get(), old.status.st_mode & 07777) != 0)
            throw EFCreateError(path, errno);
    }

    void placeAs(const Place &place, Occupant occupant, const std::string &path)
    {
        if (m_hiddenName.empty()) {
            // The unnamed file gets a name through its /proc entry: linkat(AT_EMPTY_PATH) would
            // ask for a capability that ordinary users lack on kernels before 6.10.
            const std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
            if (occupant == Occupant::Nothing) {
                // The name is free: take it at once, no other name ever exists.
                if (::linkat(
                        AT_FDCWD, self.c_str(), m_folderFd, place.name.c_str(), AT_SYMLINK_FOLLOW)
                    == 0) {
                    placed();
                    return;
                }
                if (errno != EEXIST)
                    throw EFCreateError(path, errno);
            }
            // A link never replaces a name: link to a hidden one, then rename that over it.
            linkHidden(place.name, self, path);
        }
        if (::renameat(m_folderFd, m_hiddenName.c_str(), m_folderFd, place.name.c_str()) != 0)
            throw EFCreateError(path, errno);
        placed();
    }

private:
    void createNamed(const std::string &name, const std::string &path)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            m_hiddenName = hiddenName(name);
            m_registration.creating(m_folderFd, m_hiddenName.c_str());
            m_fd = FileDescriptor(::openat(m_folderFd, m_hiddenName.c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
            struct stat status;
            if (m_fd.valid() && ::fstat(m_fd.get(), &status) == 0) {
                remember(status);
                m_registration.created(m_device, m_inode);
                return;
            }
            const int error = errno;
            if (m_fd.valid())
                ::unlinkat(m_folderFd, m_hiddenName.c_str(), 0);
            m_registration.release();
            if (m_fd.valid() || error != EEXIST) {
                m_hiddenName.clear();
                throw EFCreateError(path, error);
            }
        }
        m_hiddenName.clear();
        throw EFCreateError(path, EEXIST);
    }

    void linkHidden(const std::string &name, const std::string &self, const std::string &path)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            m_hiddenName = hiddenName(name);
            m_registration.creating(m_folderFd, m_hiddenName.c_str());
            if (::linkat(
                    AT_FDCWD, self.c_str(), m_folderFd, m_hiddenName.c_str(), AT_SYMLINK_FOLLOW)
                == 0) {
                m_registration.created(m_device, m_inode);
                return;
            }
            const int error = errno;
            m_registration.release();
            if (error != EEXIST) {
                m_hiddenName.clear();
                throw EFCreateError(path, error);
            }
        }
        m_hiddenName.clear();
        throw EFCreateError(path, EEXIST);
    }

    void remember(const struct stat &status)
    {
        m_device = status.st_dev;
        m_inode = status.st_ino;
        m_owner = status.st_uid;
        m_group = status.st_gid;
    }

    void placed()
    {
        m_placed = true;
        m_registration.release();
        m_fd.reset();
    }

    int m_folderFd;
    FileDescriptor m_fd;
    std::string m_hiddenName; // empty while the file has no name
    TemporaryRegistration m_registration;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    uid_t m_owner = 0;
    gid_t m_group = 0;
    bool m_placed = false;
};

// A destination that cannot be replaced is refused before anything is created.
const Place &checked(const Place &place, const std::string &path)
{
    inspect(place, path);
    return place;
}

} // namespace

struct PendingFile::State {
    State(const std::string &path, const std::string &within)
        : requested(path)
        , place(openPlace(path, within))
        , temporary(checked(place, path), path)
    {
    }
    std::string requested;
    Place place; // before temporary, which uses its folder until it goes
    Temporary temporary;
    bool flushed = false;
};

PendingFile::PendingFile(const std::string &path, const std::string &within)
    : m_state(std::make_unique<State>(path, within))
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

void PendingFile::flush()
{
    State &s = *m_state;
    if (s.flushed)
        return;
    s.temporary.flush();
    s.flushed = true;
}

void PendingFile::commit()
{
    flush();
    State &s = *m_state;
    // Looked at again now: the owner, mode and attributes to carry are those of the file
    // replaced, and a file that has become unreplaceable meanwhile stays.
    const Destination old = inspect(s.place, s.requested);
    s.temporary.takeOver(s.place, old, s.requested);
    s.temporary.placeAs(s.place, old.occupant, s.requested);
    // The new name reaches the disk only with the folder; the photo is in place either way.
    if (s.place.canSync)
        ::fsync(s.place.folder.get());
}

void replaceFileContents(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    PendingFile file(path);
    file.write(bytes);
    file.commit();
}

} // namespace platform
