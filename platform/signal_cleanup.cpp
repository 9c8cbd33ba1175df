#include "platform/signal_cleanup.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Fixed storage, touched by the handler without allocation or locks. A temporary lives from its
// creation to its rename, and each holds two descriptors, so the default descriptor limit runs
// out long before these slots do.
constexpr int slotCount = 512;

enum SlotState : int { Free, Busy, Live };

struct Slot {
    std::atomic<int> state;
    int folderFd;
    dev_t device;
    ino_t inode;
    char name[NAME_MAX + 1];
};

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads slot states");

Slot slots[slotCount];

constexpr int cleanedSignals[] = { SIGINT, SIGTERM, SIGHUP };

extern "C" void removeTemporariesAndDie(int signal)
{
    const int savedErrno = errno;
    for (Slot &slot : slots)
        if (slot.state.load(std::memory_order_acquire) == Live)
            removeIfSameFile(slot.folderFd, slot.name, slot.device, slot.inode);

    // The signal stays blocked until this handler returns; with the default action back in
    // place it is then delivered again and ends the process as if never caught.
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    raise(signal);
    errno = savedErrno;
}

} // namespace

void installSignalCleanup()
{
    struct sigaction cleanup = {};
    cleanup.sa_handler = removeTemporariesAndDie;
    sigemptyset(&cleanup.sa_mask);
    for (const int signal : cleanedSignals)
        sigaddset(&cleanup.sa_mask, signal);
    for (const int signal : cleanedSignals) {
        struct sigaction current = {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &cleanup, nullptr);
    }
}

bool removeIfSameFile(int folderFd, const char *name, dev_t device, ino_t inode) noexcept
{
    struct stat status;
    return fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && status.st_dev == device
        && status.st_ino == inode && unlinkat(folderFd, name, 0) == 0;
}

TemporaryRegistration::TemporaryRegistration(
    int folderFd, const char *name, dev_t device, ino_t inode) noexcept
{
    if (std::strlen(name) > NAME_MAX)
        return;
    for (int i = 0; i < slotCount; ++i) {
        int expected = Free;
        if (!slots[i].state.compare_exchange_strong(expected, Busy, std::memory_order_acquire))
            continue;
        Slot &slot = slots[i];
        slot.folderFd = folderFd;
        slot.device = device;
        slot.inode = inode;
        std::strcpy(slot.name, name);
        slot.state.store(Live, std::memory_order_release);
        m_slot = i;
        return;
    }
}

TemporaryRegistration::TemporaryRegistration(TemporaryRegistration &&other) noexcept
    : m_slot(std::exchange(other.m_slot, -1))
{
}

TemporaryRegistration &TemporaryRegistration::operator=(TemporaryRegistration &&other) noexcept
{
    if (this != &other) {
        release();
        m_slot = std::exchange(other.m_slot, -1);
    }
    return *this;
}

void TemporaryRegistration::release() noexcept
{
    if (m_slot >= 0)
        slots[m_slot].state.store(Free, std::memory_order_release);
    m_slot = -1;
}

} // namespace platform
