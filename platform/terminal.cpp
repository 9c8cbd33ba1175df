#include "platform/terminal.h"

#include <cstring>

#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

ErrorStreamTerminal errorStreamTerminal()
{
    ErrorStreamTerminal terminal;
    terminal.isTerminal = isatty(STDERR_FILENO) == 1;
    terminal.utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        terminal.columns = size.ws_col;
    return terminal;
}

} // namespace platform
