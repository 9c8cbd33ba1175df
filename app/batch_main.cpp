// lumivor-batch: the folder run of the window program, from the command line and from scripts.
#include "app/batch_options.h"
#include "app/batch_report.h"
#include "app/batch_sources.h"
#include "app/enhance_photo.h"
#include "platform/file_errors.h"
#include "platform/folder_tree.h"
#include "platform/signal_cleanup.h"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include <fcntl.h>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    settings.terminal = isatty(STDERR_FILENO) == 1;
    settings.middleDot = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        settings.columns = size.ws_col;
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

std::vector<app::ListedPhoto> listPhotos(const app::BatchOptions &options, app::BatchReport &report)
{
    std::vector<app::ListedPhoto> photos;
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

void keepModificationTime(const struct stat &source, const std::string &destination)
{
    const timespec times[2] = { { 0, UTIME_OMIT }, source.st_mtim };
    if (utimensat(AT_FDCWD, destination.c_str(), times, 0) != 0)
        throw platform::EFCreateError(destination, errno);
}

void enhanceAll(const std::vector<app::ListedPhoto> &photos, const app::BatchOptions &options,
    app::BatchReport &report)
{
    app::TWorkingImages images;
    for (const app::ListedPhoto &photo : photos) {
        report.photoStarted(photo.name);
        try {
            // Taken before the photo is replaced, since DEST may be SOURCE.
            struct stat source {
            };
            if (options.preserveTimes && stat(photo.source.c_str(), &source) != 0)
                throw platform::EFOpenError(photo.source, errno);
            app::EnhancePhoto(images, photo.source, photo.destination);
            if (options.preserveTimes)
                keepModificationTime(source, photo.destination);
        } catch (...) {
            report.photoFailed(photo.source, std::current_exception());
            if (!options.keepGoing)
                return;
            continue;
        }
        report.photoFinished(photo.name);
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
    std::vector<app::ListedPhoto> photos;
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
