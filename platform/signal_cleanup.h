#pragma once

#include <sys/types.h>

namespace platform {

// Makes SIGINT, SIGTERM and SIGHUP first remove every registered temporary file and then end
// the process as that signal does by default, so a shell sees it killed by the signal (status
// 130, 143, 129). A signal that the process was started ignoring (nohup, a background job)
// stays ignored. Call once, early in main(), before any thread starts.
void installSignalCleanup();

// A temporary file that a terminating signal removes while it is registered: the entry name in
// the folder open as folderFd, as long as that entry is still the file device/inode (a name
// that has meanwhile been taken by another file is left alone). folderFd must stay open and
// name unchanged until the registration goes. Any thread may register and release. When every
// slot is taken the file simply goes unregistered: saving never fails for this.
class TemporaryRegistration
{
public:
    TemporaryRegistration() = default;
    TemporaryRegistration(int folderFd, const char *name, dev_t device, ino_t inode) noexcept;
    ~TemporaryRegistration() { release(); }
    TemporaryRegistration(TemporaryRegistration &&other) noexcept;
    TemporaryRegistration &operator=(TemporaryRegistration &&other) noexcept;

    void release() noexcept;

private:
    int m_slot = -1;
};

// Unlinks name in folderFd if it is still the file device/inode; async-signal-safe. True when
// it was removed.
bool removeIfSameFile(int folderFd, const char *name, dev_t device, ino_t inode) noexcept;

} // namespace platform
