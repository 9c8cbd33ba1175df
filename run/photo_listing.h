#pragma once

#include "core/error.h"
#include "run/photo_job.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace run {

// A photo or list entry that the run cannot take; path() names it, what() says why.
class PhotoListError : public core::Error
{
public:
    PhotoListError(const std::string &path, const std::string &message)
        : core::Error(message)
        , m_path(path)
    {
    }
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

// A list of photos that cannot be read as one (NUL bytes in a line-separated list); what() says
// why, in words for the command line.
class ListFormatError : public std::invalid_argument
{
public:
    using std::invalid_argument::invalid_argument;
};

// Whether a file of this name is a photo of a folder run: "*.jpg" or "*.jpeg", the extension in
// any case.
bool IsPhotoName(const std::string &name);

// Called for a folder that cannot be listed or entered, or an entry of one that cannot be looked
// at (whether it is a photo or a folder cannot be told), with the error (a core::Error naming it)
// being handled: rethrowing it stops the listing, returning goes on without it.
using ListingFailure = std::function<void(const std::string &path)>;

// The photos (IsPhotoName) of the folder source in name order, each to be written under its name
// into destination (folder + "/" + name). With recursive, then the photos of each
// visible subfolder in name order, depth first, named by their path below source and written
// to the same path below destination. Symlinks to folders, a folder already being walked (a
// bind mount looping back) and the folder destination itself are not entered. Only an entry
// that goes away meanwhile is passed over without a word; source itself, when it cannot be
// listed, goes to onFailure too. Depth is no limit: each folder is entered from the one above.
std::vector<PhotoJob> PhotosInFolder(const std::string &source, const std::string &destination,
    bool recursive, const ListingFailure &onFailure);

// The photos named in list, separated by '\n' (empty names skipped) or with nullSeparated by
// NUL bytes. Each is read as named and written to destination + "/" + its placement (see
// PlacementOf). Throws ListFormatError when a line-separated list holds a NUL byte, and
// PhotoListError for an entry that has no placement.
std::vector<PhotoJob> PhotosFromList(
    const std::string &list, bool nullSeparated, const std::string &destination);

// Where a listed name goes below the destination folder: the name with empty and "."
// components dropped, so "./a/b.jpg" and "/a//b.jpg" both give "a/b.jpg". Empty when there is
// no file name left or a ".." component would lead out of the destination.
std::string PlacementOf(const std::string &listedName);

// Creates, below destination, the missing folders that the photos' results go into (one level
// at a time, never destination itself, never through a link). A folder that cannot be created
// is left to fail each of its photos with the reason.
void CreateResultFolders(const std::string &destination, const std::vector<PhotoJob> &photos);

// Throws PhotoListError naming the first photo whose result would be written over another photo
// of the run, or that shares its result with another, since the run's order would decide which
// one is lost. A photo written over itself (DEST being SOURCE) is fine.
void RefuseOverlappingResults(const std::vector<PhotoJob> &photos);

} // namespace run
