#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <time.h>

namespace platform {

// A new version of the file at path (a byte string, used as it is), written beside it and put in
// its place only by commit(); until then the file at path is untouched, and a PendingFile that
// goes without commit() leaves nothing behind. Throws as replaceFileContents describes: the
// constructor and commit() EFCreateError(path), write() and commit() EWriteError.
class PendingFile
{
public:
    explicit PendingFile(const std::string &path);
    ~PendingFile();
    PendingFile(PendingFile &&) noexcept;
    PendingFile &operator=(PendingFile &&) noexcept;

    // Appends bytes to the new version.
    void write(const std::vector<std::uint8_t> &bytes);
    // Gives the new version this modification time. Throws EWriteError.
    void setModificationTime(const timespec &time);
    // Starts writing the new version to disk and returns without waiting for it, so that
    // commit(), which waits until it is all on disk, has little left to wait for: a run starts
    // this on its workers and commits one photo after the other. Only a head start: failures
    // are left for commit() to report.
    void startFlush() noexcept;
    // Flushes the new version to disk and renames it over path, with the old file's owner and
    // permission bits. At most once.
    void commit();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Makes the file at path (a byte string, used as it is) hold exactly bytes, or leaves it exactly
// as it was. The bytes go to a hidden temporary file in the same folder, are flushed to disk and
// then renamed over path; a replaced file keeps its permission bits, a new one gets 0666 less the
// umask. Throws EFCreateError(path) when the folder is missing or not writable or path is a
// read-only file or not a regular file, and EWriteError when writing or flushing falls short.
// No temporary file is left behind on any path.
void replaceFileContents(const std::string &path, const std::vector<std::uint8_t> &bytes);

} // namespace platform
