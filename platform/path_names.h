#pragma once

#include <string>
#include <vector>

namespace platform {

// The names of path (a byte string) in order: empty ones ("//", a leading or final "/") and "."
// left out, ".." kept for the caller to judge.
std::vector<std::string> pathNames(const std::string &path);

} // namespace platform
