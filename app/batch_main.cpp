// lumivor-batch: the folder run of the window program, from the command line and from scripts.
#include "app/batch_options.h"
#include "app/batch_report.h"
#include "platform/file_errors.h"
#include "platform/folder_tree.h"
#include "platform/memory.h"
#include "platform/open_files.h"
#include "platform/signal_cleanup.h"
#include "platform/terminal.h"
#include "run/engine.h"
#include "run/photo_listing.h"

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
        if (folder->empty()) {
            report.error(std::string(),
                std::make_exception_ptr(
                    core::Error(folder == &options.source ? "No source folder given"
                                                          : "No destination folder given")));
            return false;
        }
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

std::vector<run::PhotoJob> listPhotos(const app::BatchOptions &options, app::BatchReport &report)
{
    std::vector<run::PhotoJob> photos;
    if (!options.filesFrom.empty()) {
        std::string list;
        try {
            list = readList(options.filesFrom);
        } catch (const core::Error &) {
            report.error(options.filesFrom, std::current_exception());
            throw ListingStopped();
        }
        photos = run::PhotosFromList(list, options.nullSeparated, options.destination);
    } else {
        photos = run::PhotosInFolder(
            options.source, options.destination, options.recursive, [&](const std::string &folder) {
                report.error(folder, std::current_exception());
                if (!options.keepGoing)
                    throw ListingStopped();
            });
    }
    run::RefuseOverlappingResults(photos);
    return photos;
}

// Passes what the run tells to the report, naming a photo that failed or has warnings by the
// file it was read from. The run calls it from one thread, in listing order.
class ReportingObserver : public run::RunObserver
{
public:
    explicit ReportingObserver(app::BatchReport &report)
        : m_report(report)
    {
    }

    void countKnown(int count) override { m_report.countKnown(count); }
    void photoStarted(const run::PhotoJob &photo, int) override
    {
        m_report.photoStarted(photo.name);
    }
    void photoEnded(const run::PhotoOutcome &outcome) override
    {
        if (outcome.result == run::PhotoResult::Failed) {
            m_report.photoFailed(outcome.photo.sourcePath, outcome.error);
            return;
        }
        m_report.photoFinished(
            outcome.photo.name, outcome.result == run::PhotoResult::AlreadyEnhanced);
        if (outcome.notes.any())
            m_report.photoNoted(outcome.photo.sourcePath, outcome.notes);
    }

private:
    app::BatchReport &m_report;
};

void enhanceAll(const std::vector<run::PhotoJob> &photos, const app::BatchOptions &options,
    app::BatchReport &report)
{
    run::RunOptions settings;
    settings.workers = options.jobs;
    settings.keepGoing = options.keepGoing;
    settings.preserveTimes = options.preserveTimes;
    settings.again = options.again;
    ReportingObserver observer(report);
    try {
        run::RunPhotoJobs(photos, settings, observer);
    } catch (...) {
        report.error(std::string(), std::current_exception());
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
    platform::useMemoryPolicy();
    // Every photo in work holds a few files open; however many jobs are asked for, the run keeps
    // within this limit.
    platform::raiseOpenFileLimit();
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
    std::vector<run::PhotoJob> photos;
    try {
        photos = listPhotos(options, report);
    } catch (const ListingStopped &) {
        return exitFailure;
    } catch (const run::ListFormatError &error) {
        return usageError(error.what());
    } catch (const run::PhotoListError &error) {
        report.error(error.path(), std::current_exception());
        return exitFailure;
    }
    run::CreateResultFolders(options.destination, photos);
    report.countKnown(int(photos.size()));
    enhanceAll(photos, options, report);
    report.finish();
    return report.failures() == 0 ? 0 : exitFailure;
}
