#include "run/photo_listing.h"

#include "platform/file_errors.h"
#include "platform/find_files.h"
#include "platform/folder_below.h"
#include "platform/folder_tree.h"
#include "platform/path_names.h"

#include <map>
#include <set>
#include <utility>

namespace run {

namespace {

constexpr const char *photoMasks[] = { "*.jpg", "*.jpeg" };

class FolderWalk
{
public:
    FolderWalk(const std::string &destination, bool recursive, const ListingFailure &onFailure)
        : m_destination(destination)
        , m_destinationInfo(platform::InspectPath(destination))
        , m_recursive(recursive)
        , m_onFailure(onFailure)
    {
    }

    // Walks the folder open as folder, named folderPath, whose photos go to below in DEST. Every
    // subfolder is entered from its parent's descriptor, so depth sets no limit, and one
    // descriptor per level is held.
    void walk(int folder, const std::string &folderPath, const std::string &below,
        std::vector<platform::PathInfo> &open)
    {
        platform::FolderLevel level;
        try {
            level = platform::ListFolderLevel(folder, folderPath, "*");
        } catch (const core::Error &) {
            m_onFailure(folderPath);
            return;
        }
        for (const auto &[name, error] : level.unexamined)
            if (IsPhotoName(name) || m_recursive)
                fail(folderPath + "/" + name, error);
        for (const std::string &name : level.files)
            if (IsPhotoName(name))
                photos.push_back({ below + name, folderPath + "/" + name,
                    m_destination + "/" + below + name, m_destination });
        if (!m_recursive)
            return;
        for (const auto &[name, info] : level.folders) {
            // The results' own folder inside the source would otherwise be walked as more
            // photos, and a folder already open higher up would never end.
            if (skipped(info, open))
                continue;
            const std::string path = folderPath + "/" + name;
            platform::FileDescriptor subfolder;
            try {
                subfolder = platform::OpenSubfolderToList(folder, name, path);
            } catch (const core::Error &) {
                m_onFailure(path);
                continue;
            }
            // Looked at again as opened: it may have been swapped since it was listed.
            const platform::PathInfo opened = platform::InspectOpen(subfolder.get());
            if (!subfolder.valid() || skipped(opened, open))
                continue;
            open.push_back(opened);
            walk(subfolder.get(), path, below + name + "/", open);
            open.pop_back();
        }
    }

    std::vector<PhotoJob> photos;

private:
    // Reports an entry that could not be looked at as a folder that cannot be listed is.
    void fail(const std::string &path, int error)
    {
        try {
            throw platform::EFOpenError(path, error);
        } catch (const core::Error &) {
            m_onFailure(path);
        }
    }

    bool skipped(const platform::PathInfo &info, const std::vector<platform::PathInfo> &open) const
    {
        if (info.sameAs(m_destinationInfo))
            return true;
        for (const platform::PathInfo &folder : open)
            if (folder.sameAs(info))
                return true;
        return false;
    }

    const std::string &m_destination;
    const platform::PathInfo m_destinationInfo;
    const bool m_recursive;
    const ListingFailure &m_onFailure;
};

std::pair<std::uint64_t, std::uint64_t> identity(const platform::PathInfo &info)
{
    return { info.device, info.inode };
}

} // namespace

bool IsPhotoName(const std::string &name)
{
    for (const char *mask : photoMasks)
        if (platform::MatchesMask(name, mask))
            return true;
    return false;
}

std::vector<PhotoJob> PhotosInFolder(const std::string &source, const std::string &destination,
    bool recursive, const ListingFailure &onFailure)
{
    FolderWalk walk(destination, recursive, onFailure);
    platform::FileDescriptor folder;
    try {
        folder = platform::OpenFolderToList(source);
    } catch (const core::Error &) {
        onFailure(source);
        return {};
    }
    std::vector<platform::PathInfo> open { platform::InspectOpen(folder.get()) };
    walk.walk(folder.get(), source, std::string(), open);
    return std::move(walk.photos);
}

std::string PlacementOf(const std::string &listedName)
{
    // A name ending in "/", "." or ".." names a folder, not a photo.
    const std::string last = listedName.substr(listedName.rfind('/') + 1);
    if (last.empty() || last == "." || last == "..")
        return std::string();
    std::string placement;
    for (const std::string &name : platform::pathNames(listedName)) {
        if (name == "..")
            return std::string();
        placement += (placement.empty() ? "" : "/") + name;
    }
    return placement;
}

std::vector<PhotoJob> PhotosFromList(
    const std::string &list, bool nullSeparated, const std::string &destination)
{
    const char separator = nullSeparated ? '\0' : '\n';
    if (!nullSeparated && list.find('\0') != std::string::npos)
        throw ListFormatError("the list holds NUL bytes; give --null for a list that find -print0 "
                              "wrote");
    std::vector<PhotoJob> photos;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(separator, start);
        if (end == std::string::npos)
            end = list.size();
        const std::string name = list.substr(start, end - start);
        start = end + 1;
        if (name.empty())
            continue;
        const std::string placement = PlacementOf(name);
        if (placement.empty())
            throw PhotoListError(name,
                "names no photo that can be placed below " + destination
                    + " (a folder, or a path with \"..\")");
        photos.push_back({ name, name, destination + "/" + placement, destination });
    }
    return photos;
}

void CreateResultFolders(const std::string &destination, const std::vector<PhotoJob> &photos)
{
    std::set<std::string> made;
    const std::string prefix = destination + "/";
    for (const PhotoJob &photo : photos) {
        const std::size_t slash = photo.destinationPath.rfind('/');
        if (photo.destinationPath.compare(0, prefix.size(), prefix) != 0 || slash < prefix.size())
            continue;
        const std::string below
            = photo.destinationPath.substr(prefix.size(), slash - prefix.size());
        // Made from DEST's descriptor name by name: a folder link below DEST is not followed
        // to make folders elsewhere; its photos then fail, naming it.
        if (made.insert(below).second)
            platform::enterFolderBelow(destination, below, true);
    }
}

void RefuseOverlappingResults(const std::vector<PhotoJob> &photos)
{
    using Identity = std::pair<std::uint64_t, std::uint64_t>;
    std::map<Identity, std::size_t> sources;
    for (std::size_t i = 0; i < photos.size(); ++i) {
        const platform::PathInfo info = platform::InspectPath(photos[i].sourcePath);
        if (info.exists())
            sources.emplace(identity(info), i);
    }
    std::map<std::string, std::size_t> resultPaths;
    std::map<Identity, std::size_t> results;
    for (std::size_t i = 0; i < photos.size(); ++i) {
        const PhotoJob &photo = photos[i];
        const auto [byPath, newPath] = resultPaths.emplace(photo.destinationPath, i);
        std::size_t other = newPath ? i : byPath->second;
        const platform::PathInfo result = platform::InspectPath(photo.destinationPath);
        if (other == i && result.exists()) {
            const auto source = sources.find(identity(result));
            if (source != sources.end() && source->second != i)
                throw PhotoListError(photo.sourcePath,
                    "its result " + photo.destinationPath + " would be written over "
                        + photos[source->second].sourcePath + ", another photo of this run");
            const auto [byIdentity, newIdentity] = results.emplace(identity(result), i);
            if (!newIdentity)
                other = byIdentity->second;
        }
        if (other != i)
            throw PhotoListError(photo.sourcePath,
                "its result " + photo.destinationPath + " is also the result of "
                    + photos[other].sourcePath);
    }
}

} // namespace run
