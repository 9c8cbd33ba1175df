#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <time.h>

namespace platform {

// A new version of the file at path (a byte string, used as it is), written beside it and put in
// its place only by commit(); until then the file at path is untouched, and a PendingFile that
// goes without commit() leaves nothing behind. Only the folder part of path is ever looked up
// as a path; the name is then used within that folder, so nothing outside it is written and a
// path as long as the system allows works. A symbolic link at path is replaced by the new file
// itself; what it points to is never touched. The new version is private (0600, and unnamed
// where the file system allows) until commit() gives it the replaced file's owner, permission
// bits and extended attributes, or 0666 less the umask when nothing was replaced. Movable; any
// thread may write, flush and commit it, one at a time. Throws as replaceFileContents describes,
// each error with the system's reason: the constructor and commit() EFCreateError(path),
// write(), flush() and commit() EWriteError. The environment variable
// LUMIVOR_NAMED_TEMPORARIES makes it use the hidden named file everywhere (for tests).
//
// With within, a folder that path begins with (path is within, "/", then names below it),
// within is looked up as a path and every folder after it is entered one name at a time
// without following a symbolic link (platform::enterFolderBelow), so that nothing outside
// within is written however the folders below it are linked. A link among them is refused
// with EFCreateError(path) naming it; a path outside within with EFCreateError(path, EXDEV).
class PendingFile
{
public:
    explicit PendingFile(const std::string &path, const std::string &within = std::string());
    ~PendingFile();
    PendingFile(PendingFile &&) noexcept;
    PendingFile &operator=(PendingFile &&) noexcept;

    // Appends bytes to the new version.
    void write(const std::vector<std::uint8_t> &bytes);
    // Gives the new version this modification time, kept through commit(). Throws EWriteError.
    void setModificationTime(const timespec &time);
    // Starts writing the bytes written to disk and returns without waiting: commit() still
    // flushes, but finds little left to wait for. For a writer that must not block, such as a
    // run's worker whose core would idle; flush() waits. Failures are left to commit().
    void startFlush() noexcept;
    // Flushes the bytes written to disk. Optional: commit() does it when not done, but done in
    // the thread that wrote them it keeps commit() short. Nothing may be written after it.
    void flush();
    // Flushes the new version (unless done), gives it the metadata of the file it replaces and
    // puts it in place of path. At most once.
    void commit();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Makes the file at path (a byte string, used as it is) hold exactly bytes, or leaves it exactly
// as it was, through a PendingFile. Throws EFCreateError(path) when the folder is missing or not
// writable or path is a read-only file or not a regular file or link, and EWriteError when
// writing or flushing falls short. No temporary file is left behind on any path, nor when
// SIGINT, SIGTERM or SIGHUP ends the process once installSignalCleanup() has run.
void replaceFileContents(const std::string &path, const std::vector<std::uint8_t> &bytes);

} // namespace platform
