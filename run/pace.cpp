#include "run/pace.h"

#include <cmath>
#include <cstdio>

namespace run {

double secondsLeft(int done, int count, double secondsSoFar)
{
    if (done <= 0 || secondsSoFar <= 0)
        return -1;
    return (count - done) * (secondsSoFar / done);
}

std::string formatDuration(double seconds)
{
    char text[32];
    if (seconds < 59.95) {
        std::snprintf(text, sizeof text, "%.1f s", seconds < 0 ? 0.0 : seconds);
        return text;
    }
    const long whole = std::lround(seconds);
    if (whole < 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    else
        std::snprintf(
            text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

} // namespace run
