#pragma once

#include <csignal>

#include <sys/types.h>

namespace platform {

// Makes SIGINT, SIGTERM and SIGHUP first remove every registered temporary file and then end
// the process as that signal does by default, so a shell sees it killed by the signal (status
// 130, 143, 129). A signal that the process was started ignoring (nohup, a background job)
// stays ignored. Call once, early in main(), before any thread starts.
void installSignalCleanup();

// For a program that stops its work in its own time (the window): as installSignalCleanup,
// except that the first of these signals does not end the process but writes its number, one
// byte, to the returned descriptor (the read end of a close-on-exec pipe), so that the program
// can stop and then end with endAsKilledBy. A second one ends the process at once, as
// installSignalCleanup's handler does. Returns -1, with installSignalCleanup's handling in place,
// when no pipe can be had. Call once, early in main(), before any thread starts.
int installSignalStop();

// Ends the process as killed by signal (SIGINT, SIGTERM or SIGHUP), as its default action does.
[[noreturn]] void endAsKilledBy(int signal);

// A temporary file that a terminating signal removes: an entry in the folder open as folderFd.
// creating() comes right before the entry is created and created() or release() right after,
// in the same thread, which holds the handled signals meanwhile. A signal then either comes
// before the creation, which never happens, or finds the entry and removes it, as long as it is
// still the file device/inode (a name taken meanwhile by another file is left alone). folderFd
// must stay open until the registration goes. Movable outside creating()..created(); released
// in any thread. When every slot is taken the file goes unregistered: saving never fails for it.
class TemporaryRegistration
{
public:
    TemporaryRegistration() = default;
    ~TemporaryRegistration() { release(); }
    TemporaryRegistration(TemporaryRegistration &&other) noexcept;
    TemporaryRegistration &operator=(TemporaryRegistration &&other) noexcept;

    // The entry name is about to be created in folderFd. Forgets an earlier entry first. Never
    // returns once a handled signal is ending the process.
    void creating(int folderFd, const char *name) noexcept;
    // The entry exists now, as this file.
    void created(dev_t device, ino_t inode) noexcept;
    // Forgets the entry (never created, renamed or removed).
    void release() noexcept;

private:
    void restoreSignals() noexcept;

    int m_slot = -1;
    bool m_signalsHeld = false;
    sigset_t m_savedMask {};
};

// How many temporary files can be registered at once (TemporaryRegistration): a program that
// holds more at a time leaves those beyond it behind when a signal ends it.
constexpr int registeredTemporariesMost = 512;

// Unlinks name in folderFd if it is still the file device/inode; async-signal-safe. True when
// it was removed.
bool removeIfSameFile(int folderFd, const char *name, dev_t device, ino_t inode) noexcept;

} // namespace platform
