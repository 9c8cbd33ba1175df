#pragma once

#include "platform/file_errors.h"

#include <string>
#include <vector>

namespace platform {

// The process's current folder, absolute, without a trailing "/" (except "/" itself). Throws
// EInOutError when the platform cannot tell (the folder was removed, for instance).
std::string GetCurrentDir();

// Makes folder the process's current folder. Throws EInOutError, naming the folder and the
// reason, when it cannot be entered; the current folder is then unchanged.
void SetCurrentDir(const std::string &folder);

// When the current folder no longer exists, enters "/" so that folder views can start
// somewhere; otherwise changes nothing.
void EnsureCurrentDir();

// Whether path (relative paths against the current folder) names an existing folder; symlinks
// count as what they point to.
bool DirectoryExists(const std::string &path);

// Creates one folder; false when it cannot (it exists, a parent is missing, no permission).
bool CreateDir(const std::string &path);

// Creates path and every missing parent, top down; relative paths resolve against the current
// folder and one trailing "/" is ignored. True when the folder exists afterwards (nothing is
// created for "/" or an existing folder). Throws EInOutError "Unable to create directory" for
// an empty path.
bool CreateFolderPath(const std::string &path);

// path made absolute against the current folder, with ".", ".." and repeated "/" resolved
// textually (symlinks are not followed); a trailing "/" is kept. An empty path stays empty.
std::string ExpandFileName(const std::string &path);

// The visible subfolders of folder (names not beginning with "."; symlinks to folders count),
// sorted without regard to ASCII case, ties bytewise. A folder that cannot be read gives none.
std::vector<std::string> ListSubfolders(const std::string &folder);

} // namespace platform
