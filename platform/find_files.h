#pragma once

#include <string>
#include <vector>

namespace platform {

// What a folder that cannot be read means to the caller: an error (a folder run must not pass
// it off as empty), or no files at all (a view that shows whatever it can).
enum class UnreadableFolder { Fail, AsEmpty };

// The files that the wildcard pattern names: pattern is a folder text, "/", then a mask such as
// "*.jpg" ("*" any run of bytes, "?" one byte, letters compared without regard to ASCII case).
// Returns a snapshot of the matching names (no folder), sorted bytewise; folders, hidden
// entries (names beginning with ".") and anything that is not a regular file are left out,
// symlinks count as what they point to. A missing folder yields no names and no error; one that
// cannot be read (no permission, not a folder, a failing disk) throws EFOpenError naming the
// folder text as given (without the final "/"), with the system's reason, unless unreadable
// says AsEmpty. Names are bytes: nothing is converted.
std::vector<std::string> FindMatchingFiles(
    const std::string &pattern, UnreadableFolder unreadable = UnreadableFolder::Fail);

// Whether name matches mask as described for FindMatchingFiles.
bool MatchesMask(const std::string &name, const std::string &mask);

} // namespace platform
