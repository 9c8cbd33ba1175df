#include "platform/signal_cleanup.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <utility>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Fixed storage, read by the handler without allocation or locks. A temporary lives from its
// creation to its rename; a run keeps no more of them at a time than there are slots.
constexpr int slotCount = registeredTemporariesMost;

enum SlotState : int { Free, Filling, Creating, Live };

struct Slot {
    std::atomic<int> state;
    int folderFd;
    dev_t device;
    ino_t inode;
    char name[NAME_MAX + 1];
};

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads slot states");

Slot slots[slotCount];

// Set by the first handled signal; no temporary is created from then on.
std::atomic<bool> terminating { false };

constexpr int cleanedSignals[] = { SIGINT, SIGTERM, SIGHUP };

sigset_t cleanedSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : cleanedSignals)
        sigaddset(&set, signal);
    return set;
}

// A creation under way finishes within microseconds; the bound only keeps a thread that has
// been stopped from holding up the end for good.
void awaitCreation(const Slot &slot)
{
    timespec start {}, now {};
    clock_gettime(CLOCK_MONOTONIC, &start);
    while (slot.state.load() == Creating) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec - start.tv_sec > 1)
            return;
    }
}

extern "C" void removeTemporariesAndDie(int signal)
{
    const int savedErrno = errno;
    // Either a thread about to create a temporary sees this and never does, or this sweep sees
    // its slot in the Creating state and waits for the file to be there (sequential
    // consistency on both sides).
    terminating.store(true);
    for (Slot &slot : slots) {
        awaitCreation(slot);
        if (slot.state.load() == Live)
            removeIfSameFile(slot.folderFd, slot.name, slot.device, slot.inode);
    }

    // The signal stays blocked until this handler returns; with the default action back in
    // place it is then delivered again and ends the process as if never caught.
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    raise(signal);
    errno = savedErrno;
}

// The write end of installSignalStop's pipe, and whether a stop has been asked for already.
int stopPipe = -1;
std::atomic<bool> stopAsked { false };

static_assert(std::atomic<bool>::is_always_lock_free, "the handler sets the flag");

extern "C" void askToStop(int signal)
{
    if (stopAsked.exchange(true)) {
        removeTemporariesAndDie(signal);
        return;
    }
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a stop request; nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t written = write(stopPipe, &number, 1);
    errno = savedErrno;
}

void handleSignals(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    action.sa_mask = cleanedSignalSet();
    for (const int signal : cleanedSignals) {
        struct sigaction current = {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
}

} // namespace

void installSignalCleanup()
{
    handleSignals(removeTemporariesAndDie);
}

int installSignalStop()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        installSignalCleanup();
        return -1;
    }
    stopPipe = ends[1];
    handleSignals(askToStop);
    return ends[0];
}

void endAsKilledBy(int signal)
{
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    _exit(128 + signal);
}

bool removeIfSameFile(int folderFd, const char *name, dev_t device, ino_t inode) noexcept
{
    struct stat status;
    return fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && status.st_dev == device
        && status.st_ino == inode && unlinkat(folderFd, name, 0) == 0;
}

void TemporaryRegistration::creating(int folderFd, const char *name) noexcept
{
    release();
    if (std::strlen(name) > NAME_MAX)
        return;
    // The handler must never run in this thread while it waits for this very creation.
    const sigset_t held = cleanedSignalSet();
    m_signalsHeld = pthread_sigmask(SIG_BLOCK, &held, &m_savedMask) == 0;
    for (int i = 0; i < slotCount; ++i) {
        int expected = Free;
        if (!slots[i].state.compare_exchange_strong(expected, Filling))
            continue;
        Slot &slot = slots[i];
        slot.folderFd = folderFd;
        std::strcpy(slot.name, name);
        slot.state.store(Creating);
        m_slot = i;
        break;
    }
    // The process is being ended: create nothing more, only wait for the end.
    if (terminating.load())
        for (;;)
            pause();
}

TemporaryRegistration::TemporaryRegistration(TemporaryRegistration &&other) noexcept
    : m_slot(std::exchange(other.m_slot, -1))
    , m_signalsHeld(std::exchange(other.m_signalsHeld, false))
    , m_savedMask(other.m_savedMask)
{
}

TemporaryRegistration &TemporaryRegistration::operator=(TemporaryRegistration &&other) noexcept
{
    if (this != &other) {
        release();
        m_slot = std::exchange(other.m_slot, -1);
        m_signalsHeld = std::exchange(other.m_signalsHeld, false);
        m_savedMask = other.m_savedMask;
    }
    return *this;
}

void TemporaryRegistration::created(dev_t device, ino_t inode) noexcept
{
    if (m_slot >= 0) {
        Slot &slot = slots[m_slot];
        slot.device = device;
        slot.inode = inode;
        slot.state.store(Live);
    }
    restoreSignals();
}

void TemporaryRegistration::release() noexcept
{
    if (m_slot >= 0)
        slots[m_slot].state.store(Free);
    m_slot = -1;
    restoreSignals();
}

void TemporaryRegistration::restoreSignals() noexcept
{
    if (m_signalsHeld)
        pthread_sigmask(SIG_SETMASK, &m_savedMask, nullptr);
    m_signalsHeld = false;
}

} // namespace platform
