// lumivor-batch: the folder run of the window program, from the command line and from scripts.
#include "app/batch_options.h"
#include "app/batch_report.h"
#include "run/engine.h"
#include "run/photo_listing.h"
#include "platform/file_errors.h"
#include "platform/folder_tree.h"
#include "platform/signal_cleanup.h"
#include "platform/terminal.h"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

// Thrown once a failure that ends the listing has been reported.
struct ListingStopped {
};

int usageError(const std::string &reason)
{
    std::fprintf(stderr, "lumivor-batch: %s\nTry 'lumivor-batch --help' for more information.\n",
        app::printableName(reason).c_str());
    return exitUsage;
}

app::BatchReport::Settings reportSettings(const app::BatchOptions &options)
{
    app::BatchReport::Settings settings;
    settings.quiet = options.quiet;
    const platform::ErrorStreamTerminal terminal = platform::errorStreamTerminal();
    settings.terminal = terminal.isTerminal;
    settings.middleDot = terminal.utf8;
    if (terminal.columns > 0)
        settings.columns = terminal.columns;
    return settings;
}

std::exception_ptr systemReason(int error)
{
    return std::make_exception_ptr(std::runtime_error(std::strerror(error)));
}

// Source and destination must be folders before anything is listed or written.
bool foldersExist(const app::BatchOptions &options, app::BatchReport &report)
{
    for (const std::string *folder : { &options.source, &options.destination }) {
        if (folder == &options.source && !options.filesFrom.empty())
            continue;
        const platform::PathInfo info = platform::InspectPath(*folder);
        if (!info.exists() || !info.isFolder) {
            report.error(*folder, systemReason(info.exists() ? ENOTDIR : info.error));
            return false;
        }
    }
    return true;
}

std::string readList(const std::string &name)
{
    if (name == "-")
        return std::string(std::istreambuf_iterator<char>(std::cin), {});
    std::ifstream list(name, std::ios::binary);
    if (!list)
        throw platform::EFOpenError(name, errno);
    std::ostringstream bytes;
    bytes << list.rdbuf();
    return bytes.str();
}

std::vector<app::PhotoJob> listPhotos(const app::BatchOptions &options, app::BatchReport &report)
{
    std::vector<app::PhotoJob> photos;
    if (!options.filesFrom.empty()) {
        std::string list;
        try {
            list = readList(options.filesFrom);
        } catch (const core::Error &) {
            report.error(options.filesFrom, std::current_exception());
            throw ListingStopped();
        }
        photos = app::PhotosFromList(list, options.nullSeparated, options.destination);
    } else {
        photos = app::PhotosInFolder(
            options.source, options.destination, options.recursive, [&](const std::string &folder) {
                report.error(folder, std::current_exception());
                if (!options.keepGoing)
                    throw ListingStopped();
            });
    }
    app::RefuseOverlappingResults(photos);
    return photos;
}

// Passes what the run tells to the report, naming a photo that failed by the file it was read
// from. The run calls it from one thread, in listing order.
class ReportingObserver : public app::BatchObserver
{
public:
    ReportingObserver(const std::vector<app::PhotoJob> &photos, app::BatchReport &report)
        : m_photos(photos)
        , m_report(report)
    {
    }

    void countKnown(int count) override { m_report.countKnown(count); }
    void fileStarted(const std::string &name, int number) override
    {
        m_current = std::size_t(number) - 1;
        m_report.photoStarted(name);
    }
    void fileFinished(int) override { m_report.photoFinished(m_photos.at(m_current).name); }
    void fileFailed(const app::PhotoFailure &failure) override
    {
        m_report.photoFailed(currentSource(),
            failure.error
                ? failure.error
                : std::make_exception_ptr(core::Error(failure.message, failure.systemError)));
    }
    void done() override { }

    // The photo the run is at: the one whose failure ends a run without keepGoing.
    std::string currentSource() const
    {
        return m_current < m_photos.size() ? m_photos[m_current].sourcePath : std::string();
    }

private:
    const std::vector<app::PhotoJob> &m_photos;
    app::BatchReport &m_report;
    std::size_t m_current = std::size_t(-1);
};

void enhanceAll(const std::vector<app::PhotoJob> &photos, const app::BatchOptions &options,
    app::BatchReport &report)
{
    app::RunOptions run;
    run.workers = options.jobs;
    run.keepGoing = options.keepGoing;
    run.preserveTimes = options.preserveTimes;
    ReportingObserver observer(photos, report);
    try {
        app::RunPhotoJobs(photos, run, observer);
    } catch (...) {
        report.photoFailed(observer.currentSource(), std::current_exception());
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Standard output carries only --help and --version; a reader that goes away early must
    // not kill a run halfway through its photos.
    std::signal(SIGPIPE, SIG_IGN);
    // Under a file-size limit a write beyond it must fail as on a full disk ("Stream write
    // error", the old photo kept, no temporary file left) instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Ctrl-C, SIGTERM or SIGHUP mid-save end the program as killed by them, without leaving a
    // temporary file behind.
    platform::installSignalCleanup();
    // The system's reasons in the user's language, and to tell whether the terminal shows UTF-8;
    // numbers stay in the C locale.
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_MESSAGES, "");

    app::BatchOptions options;
    try {
        options = app::parseBatchOptions(argc, argv);
    } catch (const app::UsageError &error) {
        return usageError(error.what());
    }
    if (options.help || options.version) {
        std::fputs(options.help ? app::batchUsage() : app::batchVersion().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : exitFailure;
    }

    app::BatchReport report(stderr, reportSettings(options));
    if (!foldersExist(options, report))
        return exitFailure;
    std::vector<app::PhotoJob> photos;
    try {
        photos = listPhotos(options, report);
    } catch (const ListingStopped &) {
        return exitFailure;
    } catch (const app::UsageError &error) {
        return usageError(error.what());
    } catch (const app::PhotoListError &error) {
        report.error(error.path(), std::current_exception());
        return exitFailure;
    }
    app::CreateResultFolders(options.destination, photos);
    report.countKnown(int(photos.size()));
    enhanceAll(photos, options, report);
    report.finish();
    return report.failures() == 0 ? 0 : exitFailure;
}
