#include "run/engine.h"

#include "core/error.h"
#include "imageio/errors.h"
#include "platform/file_reading.h"
#include "platform/memory.h"
#include "platform/open_files.h"
#include "platform/signal_cleanup.h"
#include "platform/usable_cores.h"
#include "run/enhance_photo.h"
#include "run/photo_step.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <thread>

namespace run {

namespace {

// How many photos, per worker, may be finished ahead of the one to be put in place next: enough
// to keep the workers busy past a photo that takes several times as long as those after it, few
// enough that the pending files (each an open file, its bytes on disk) stay a handful.
constexpr std::size_t lookaheadPerWorker = 4;

// Descriptors one photo in work holds at most: its pending file and the folder it goes into, or
// while it is read or its folder entered, two, and a third to spare.
constexpr std::size_t descriptorsPerPhoto = 3;
// Descriptors left to the rest of the program during a run: those that putting a photo in place
// opens for a moment, and the window's own.
constexpr std::size_t descriptorsSpare = 16;

// How many photos may be in work at once, from taken by a worker to put in place: as many as
// keep workers busy, within the files the process may still open, and within the temporary
// files that a terminating signal can remove. At least one.
std::size_t lookaheadFor(std::size_t workers)
{
    const std::size_t left = platform::openFilesLeft();
    const std::size_t byFiles
        = left > descriptorsSpare ? (left - descriptorsSpare) / descriptorsPerPhoto : 0;
    return std::max<std::size_t>(1,
        std::min({ lookaheadPerWorker * workers, byFiles,
            std::size_t(platform::registeredTemporariesMost) }));
}

// Thrown inside a worker's photo once the run no longer needs it.
struct PhotoNotNeeded {
};

// The state of one run, shared by its workers and the thread that puts photos in place. One lock
// guards all of it; every change wakes every waiter, which at a few changes per photo costs
// nothing next to the photo itself.
class Run
{
public:
    Run(const std::vector<PhotoJob> &jobs, const RunOptions &options, std::size_t lookahead)
        : m_jobs(jobs)
        , m_options(options)
        , m_budget(
              options.memoryBudget != 0 ? options.memoryBudget : platform::measureMemoryBudget())
        , m_lookahead(lookahead)
        , m_slots(jobs.size())
        , m_end(jobs.size())
    {
    }

    // A worker: takes photos in listing order while they are needed and not too far ahead.
    // Nothing leaves it: every failure is kept in the photo's slot.
    void work()
    {
        TWorkingImages images;
        std::size_t index = 0;
        while (take(index))
            enhance(images, index);
    }

    // No worker takes a photo from now on, and a photo waiting for memory is given up.
    void stop()
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_stopped = true;
        m_changed.notify_all();
    }

    bool stopped()
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        return m_stopped;
    }

    // Puts every photo in place in listing order and tells the observer; the first photo has
    // been announced already. With enhanceHere (no worker could be started) this thread
    // enhances each photo itself when its turn comes. Once stopped, the photos not yet in place
    // are left to be discarded.
    RunSummary commitAll(RunObserver &observer, bool enhanceHere)
    {
        RunSummary summary;
        TWorkingImages images;
        for (std::size_t i = 0; i < m_jobs.size(); ++i) {
            const PhotoJob &job = m_jobs[i];
            if (i > 0 && stopped())
                break;
            if (i > 0)
                observer.photoStarted(job, int(i) + 1);
            std::optional<Slot> slot = waitFor(i, enhanceHere ? &images : nullptr);
            if (!slot)
                break;
            if (!slot->error && slot->file) {
                try {
                    slot->file->commit();
                } catch (const std::bad_alloc &) {
                    slot->error = std::make_exception_ptr(core::EStreamError());
                } catch (...) {
                    slot->error = std::current_exception();
                }
            }
            slot->file.reset();
            resolved(i);
            const PhotoResult result = slot->error ? PhotoResult::Failed : slot->result;
            count(summary, job, result, *slot);
            observer.photoEnded({ job, int(i) + 1, result, slot->error,
                result == PhotoResult::Enhanced ? slot->notes : PhotoNotes() });
            if (slot->error && !m_options.keepGoing)
                return summary;
        }
        summary.stopped = summary.photosDone + summary.photosAlreadyEnhanced
                + int(summary.failures.size())
            < int(m_jobs.size());
        return summary;
    }

private:
    struct Slot {
        bool finished = false;
        // The photo's new version, not yet in place; none for a photo left as it is.
        std::optional<platform::PendingFile> file;
        PhotoResult result = PhotoResult::Enhanced; // what the photo is once file is in place
        PhotoNotes notes;
        std::exception_ptr error;
    };

    static void count(RunSummary &summary, const PhotoJob &job, PhotoResult result, Slot &slot)
    {
        switch (result) {
        case PhotoResult::Enhanced:
            ++summary.photosDone;
            if (slot.notes.any())
                summary.noted.push_back({ job, slot.notes });
            break;
        case PhotoResult::AlreadyEnhanced:
            ++summary.photosAlreadyEnhanced;
            break;
        case PhotoResult::Failed:
            summary.failures.push_back({ job, slot.error });
            break;
        }
    }

    // The part of the memory budget one photo holds: its file's bytes from before they are
    // read, then its whole working memory from its decoding to its end.
    class MemoryShare
    {
    public:
        MemoryShare(Run &run, std::size_t index)
            : m_run(run)
            , m_index(index)
        {
        }
        ~MemoryShare() { release(); }
        MemoryShare(const MemoryShare &) = delete;
        MemoryShare &operator=(const MemoryShare &) = delete;

        // Waits until the photo's file of bytes fits beside the photos in work. Photos are let
        // in in listing order, so that the one to be put in place next is never starved by
        // those after it, and one at a time holds its file before its picture's size is known:
        // two that each held a file while waiting for more could wait for each other for good.
        void reserveFile(std::uint64_t bytes)
        {
            std::unique_lock<std::mutex> lock(m_run.m_lock);
            std::set<std::size_t> &waiting = m_run.m_waitingForMemory;
            waiting.insert(m_index);
            m_run.m_changed.wait(lock, [&] {
                return !m_run.needed(m_index)
                    || (*waiting.begin() == m_index && !m_run.m_reading
                        && m_run.m_inWork + bytes <= m_run.m_budget);
            });
            waiting.erase(m_index);
            m_run.m_changed.notify_all();
            if (!m_run.needed(m_index))
                throw PhotoNotNeeded();
            m_run.m_inWork += bytes;
            m_held = m_fileBytes = bytes;
            m_run.m_reading = m_reading = true;
        }

        // Waits until the whole photo fits beside the photos in work; before any other photo is
        // let in, since it holds its file already. Throws EJPEG 53 when it is larger than the
        // whole budget.
        void acquire(int width, int height, bool multipleScans)
        {
            if (!m_reading)
                reserveFile(0);
            const std::uint64_t need
                = platform::photoBytesWithFile(std::uint64_t(std::max(width, 0)),
                    std::uint64_t(std::max(height, 0)), multipleScans, m_fileBytes);
            if (need > m_run.m_budget)
                throw imageio::EJPEG(imageio::outOfMemoryNumber);
            std::unique_lock<std::mutex> lock(m_run.m_lock);
            m_run.m_changed.wait(lock, [&] {
                return !m_run.needed(m_index) || m_run.m_inWork - m_held + need <= m_run.m_budget;
            });
            if (!m_run.needed(m_index))
                throw PhotoNotNeeded();
            m_run.m_inWork += need - m_held;
            m_held = need;
            m_run.m_reading = m_reading = false;
            m_run.m_changed.notify_all();
        }

        void release() noexcept
        {
            if (m_held == 0 && !m_reading)
                return;
            const std::lock_guard<std::mutex> lock(m_run.m_lock);
            m_run.m_inWork -= m_held;
            m_held = 0;
            if (m_reading)
                m_run.m_reading = m_reading = false;
            m_run.m_changed.notify_all();
        }

    private:
        Run &m_run;
        std::size_t m_index;
        std::uint64_t m_held = 0;
        std::uint64_t m_fileBytes = 0;
        bool m_reading = false; // this photo holds its file, not yet its picture
    };

    // Under the lock: whether the run will still put photo index in place.
    bool needed(std::size_t index) const { return !m_stopped && index < m_end; }

    bool take(std::size_t &index)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock,
            [this] { return m_stopped || m_next >= m_end || m_next < m_resolved + m_lookahead; });
        if (m_stopped || m_next >= m_end)
            return false;
        index = m_next++;
        return true;
    }

    // Read, decode, enhance, encode, write, and start the flush: all but putting it in place.
    void enhance(TWorkingImages &images, std::size_t index)
    {
        const PhotoJob &job = m_jobs[index];
        Slot done;
        try {
            prepare(images, index, done);
            if (done.file) {
                if (m_options.preserveTimes)
                    done.file->setModificationTime(platform::modificationTime(job.sourcePath));
                done.file->startFlush();
            }
        } catch (const PhotoNotNeeded &) {
            return;
        } catch (const std::bad_alloc &) {
            done.error = std::make_exception_ptr(core::EStreamError());
        } catch (...) {
            done.error = std::current_exception();
        }
        if (done.error)
            done.file.reset();
        done.finished = true;
        const std::lock_guard<std::mutex> lock(m_lock);
        m_slots[index] = std::move(done);
        // Without keepGoing the run ends at the first failure: nothing after it is needed.
        if (m_slots[index].error && !m_options.keepGoing)
            m_end = std::min(m_end, index);
        m_changed.notify_all();
    }

    // Fills the photo's slot with its new version (none when it is to be left as it is), its
    // result and its notes.
    void prepare(TWorkingImages &images, std::size_t index, Slot &slot)
    {
        const PhotoJob &job = m_jobs[index];
        const PhotoStep step = ChoosePhotoStep(job, m_options.again);
        if (step.kind != PhotoStep::Enhance) {
            slot.result = PhotoResult::AlreadyEnhanced;
            if (step.kind == PhotoStep::Copy)
                slot.file.emplace(CopyPhotoPending(job));
            return;
        }
        MemoryShare share(*this, index);
        EnhancedPhoto photo = EnhancePhotoPending(images, job.sourcePath, job.destinationPath,
            [&share](int width, int height, bool multipleScans) {
                share.acquire(width, height, multipleScans);
            },
            job.destinationFolder, m_budget,
            [&share](std::uint64_t fileBytes) { share.reserveFile(fileBytes); });
        share.release(); // the photo's pictures are gone; only its file is left
        // Cut short, it may be a copy still to be completed: replacing it by what could be
        // decoded would lose the rest for good.
        if (step.inPlace && photo.notes.warnings.endedEarly)
            throw imageio::EJPEG(imageio::prematureEndNumber);
        slot.file.emplace(std::move(photo.file));
        slot.notes = std::move(photo.notes);
    }

    // The photo once it is finished; null when the run is stopped first.
    std::optional<Slot> waitFor(std::size_t index, TWorkingImages *enhanceHere)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        while (!m_slots[index].finished && !m_stopped) {
            if (enhanceHere) {
                lock.unlock();
                std::size_t next = 0;
                if (take(next))
                    enhance(*enhanceHere, next);
                lock.lock();
            } else {
                m_changed.wait(lock);
            }
        }
        if (m_stopped)
            return std::nullopt;
        return std::move(m_slots[index]);
    }

    void resolved(std::size_t index)
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_resolved = index + 1;
        m_changed.notify_all();
    }

    const std::vector<PhotoJob> &m_jobs;
    const RunOptions m_options;
    const std::uint64_t m_budget;
    const std::size_t m_lookahead;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Slot> m_slots;
    std::size_t m_next = 0; // the next photo a worker takes
    std::size_t m_end; // photos from here on are not needed
    std::size_t m_resolved = 0; // photos put in place or given up, in listing order
    bool m_stopped = false;
    std::uint64_t m_inWork = 0; // bytes held by the photos being read, decoded and enhanced
    std::set<std::size_t> m_waitingForMemory;
    bool m_reading = false; // a photo holds its file before its picture's size is known
};

// The workers of a run. However the run ends, they are stopped and joined before it is left.
class Workers
{
public:
    Workers(Run &run, std::size_t count)
        : m_run(run)
    {
        m_threads.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            try {
                m_threads.emplace_back([this] { m_run.work(); });
            } catch (...) {
                break; // no more threads to be had: the started ones carry the run
            }
        }
    }
    ~Workers()
    {
        m_run.stop();
        for (std::thread &thread : m_threads)
            thread.join();
    }
    Workers(const Workers &) = delete;
    Workers &operator=(const Workers &) = delete;

    bool none() const { return m_threads.empty(); }

private:
    Run &m_run;
    std::vector<std::thread> m_threads;
};

} // namespace

RunSummary RunPhotoJobs(
    const std::vector<PhotoJob> &jobs, const RunOptions &options, RunObserver &observer)
{
    try {
        observer.countKnown(int(jobs.size()));
        if (jobs.empty())
            return {};
        const int wanted = options.workers > 0 ? options.workers : platform::usableCores();
        const std::size_t lookahead = lookaheadFor(std::min(std::size_t(wanted), jobs.size()));
        // A worker beyond the photos that may be in work would only wait.
        const std::size_t workers = std::min({ std::size_t(wanted), jobs.size(), lookahead });
        Run run(jobs, options, lookahead);
        const StopRequest::Watch watch(options.stop, [&run] { run.stop(); });
        // Announced before any worker starts, as a run of one photo at a time would.
        if (!run.stopped())
            observer.photoStarted(jobs.front(), 1);
        const Workers started(run, workers);
        return run.commitAll(observer, started.none());
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

} // namespace run
