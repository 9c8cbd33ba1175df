#pragma once

namespace platform {

// What a progress line on standard error may use.
struct ErrorStreamTerminal {
    bool isTerminal = false; // a person watches it, so a line may be redrawn in place
    int columns = 0;         // its width, or 0 where unknown
    bool utf8 = false;       // the locale's characters are UTF-8, so a middle dot shows
};

ErrorStreamTerminal errorStreamTerminal();

} // namespace platform
