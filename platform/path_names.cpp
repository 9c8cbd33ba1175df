#include "platform/path_names.h"

namespace platform {

std::vector<std::string> pathNames(const std::string &path)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start && path.compare(start, end - start, ".") != 0)
            names.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

} // namespace platform
