#pragma once

#include <string>

namespace run {

// Seconds the rest of a run of count photos will take at the pace of the done photos so far,
// which took secondsSoFar; negative while that pace is unknown (nothing done yet).
double secondsLeft(int done, int count, double secondsSoFar);

// A span of time as people read it: "4.2 s" below a minute, "1:05" below an hour, "1:01:05".
std::string formatDuration(double seconds);

} // namespace run
