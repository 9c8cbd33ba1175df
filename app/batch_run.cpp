#include "app/batch_run.h"

#include "platform/find_files.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace app {

namespace {

std::string searchPattern(const BatchFolders &folders)
{
    return folders.source() + "/*.jpg";
}

std::string pathIn(const std::string &folder, const std::string &name)
{
    return folder + "/" + name;
}

int countOf(const std::vector<std::string> &names)
{
    return int(names.size());
}

} // namespace

void RunBatch(TWorkingImages &images, const BatchFolders &folders,
              BatchObserver &observer)
{
    const std::string pattern = searchPattern(folders);
    observer.countKnown(countOf(platform::FindMatchingFiles(pattern)));

    int filesDone = 0;
    for (const std::string &name : platform::FindMatchingFiles(pattern)) {
        ++filesDone;
        observer.fileStarted(name, filesDone);
        const std::string destPath = pathIn(folders.destination(), name);
        const std::string sourcePath = pathIn(folders.source(), name);
        EnhancePhoto(images, sourcePath, destPath);
        observer.fileFinished(filesDone);
    }
    observer.done();
}

namespace {

// Shared state of the workers of one parallel run.
class ParallelRun
{
public:
    ParallelRun(const BatchFolders &folders, BatchObserver &observer,
                std::vector<std::string> names)
        : m_folders(folders), m_observer(observer), m_names(std::move(names)),
          m_failures(m_names.size())
    {
    }

    void work()
    {
        TWorkingImages images;
        // Stop is checked before taking a file, so every file taken is enhanced: all files
        // before a failing one are then finished, as in a run with one job.
        while (!m_stop.load()) {
            const std::size_t index = m_next.fetch_add(1);
            if (index >= m_names.size())
                return;
            enhanceOne(images, index);
        }
    }

    // No worker takes a new file from now on.
    void stop() { m_stop.store(true); }

    // The failure of the earliest file in listing order, if any.
    std::exception_ptr firstFailure() const
    {
        for (const std::exception_ptr &failure : m_failures)
            if (failure)
                return failure;
        return nullptr;
    }

private:
    // Nothing may leave a worker thread: every failure, also of the bookkeeping around the
    // photo, is kept for the run to report.
    void enhanceOne(TWorkingImages &images, std::size_t index)
    {
        try {
            const std::string &name = m_names[index];
            std::string sourcePath;
            std::string destPath;
            {
                const std::lock_guard<std::mutex> lock(m_lock);
                m_observer.fileStarted(name, int(index) + 1);
                destPath = pathIn(m_folders.destination(), name);
                sourcePath = pathIn(m_folders.source(), name);
            }
            EnhancePhoto(images, sourcePath, destPath);
            const std::lock_guard<std::mutex> lock(m_lock);
            m_observer.fileFinished(++m_filesDone);
        } catch (...) {
            m_failures[index] = std::current_exception();     // each worker writes its own slot
            stop();
        }
    }

    const BatchFolders &m_folders;
    BatchObserver &m_observer;
    const std::vector<std::string> m_names;
    std::vector<std::exception_ptr> m_failures;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    int m_filesDone = 0;
};

} // namespace

void RunBatchInParallel(int jobs, const BatchFolders &folders, BatchObserver &observer)
{
    if (jobs <= 1) {
        TWorkingImages images;
        RunBatch(images, folders, observer);
        return;
    }
    const std::string pattern = searchPattern(folders);
    observer.countKnown(countOf(platform::FindMatchingFiles(pattern)));

    ParallelRun run(folders, observer, platform::FindMatchingFiles(pattern));
    std::vector<std::thread> workers;
    try {
        for (int i = 0; i < jobs; ++i)
            workers.emplace_back([&run] { run.work(); });
    } catch (...) {
        // No more threads to be had: the started ones finish their photos before the error
        // is reported.
        run.stop();
        for (std::thread &worker : workers)
            worker.join();
        throw;
    }
    for (std::thread &worker : workers)
        worker.join();

    if (const std::exception_ptr failure = run.firstFailure())
        std::rethrow_exception(failure);
    observer.done();
}

} // namespace app
