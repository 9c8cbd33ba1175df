#!/bin/sh
# Starts the window on a virtual X display and checks that the class it reports in WM_CLASS is
# the desktop entry's StartupWMClass: otherwise an X11 desktop does not tie the window to its
# launcher. Needs xvfb-run and xprop (x11-utils).
set -eu
program=$1
entry=$2
expected=$(sed -n 's/^StartupWMClass=//p' "$entry")
[ -n "$expected" ] || { echo "$entry: no StartupWMClass"; exit 1; }

# WM_CLASS(STRING) = "instance", "class": the second string is the class.
# The X11 platform outright: the test run sets QT_QPA_PLATFORM=offscreen for the widget tests.
class=$(xvfb-run -a sh -c '
    QT_QPA_PLATFORM=xcb "$1" & program=$!
    # A loaded machine may take many seconds to show the window, whose title may come before
    # its class; a program that ended will show neither.
    reply=""
    for attempt in $(seq 600); do
        reply=$(xprop -name Lumivor WM_CLASS 2>/dev/null || true)
        case $reply in *\"*\"*) break ;; esac
        kill -0 "$program" 2>/dev/null || break
        sleep 0.1
    done
    kill "$program" 2>/dev/null || true
    echo "$reply" | sed -n "s/.*= \".*\", \"\(.*\)\"\$/\1/p"
' sh "$program")
if [ "$class" != "$expected" ]; then
    echo "the window's class is '$class', the desktop entry's StartupWMClass '$expected'"
    exit 1
fi
