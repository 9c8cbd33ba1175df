#!/bin/sh
# The window program without a display, or with one that does not answer: one line that says
# so and exit status 1, never Qt's abort.
set -u
program=$1
check() {
    expected=$1
    shift
    errors=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" "$program" 2>&1 >/dev/null)
    status=$?
    if [ "$status" -ne 1 ] || [ "$errors" != "$expected" ]; then
        echo "with $*: exit status $status, said: $errors"
        exit 1
    fi
}
check "lumivor: no display (DISPLAY is not set); set DISPLAY, or use lumivor-batch for the command line"
check "lumivor: cannot open the display :59999; set DISPLAY to a display that is running, or use lumivor-batch" DISPLAY=:59999
