#!/bin/sh
# Set-up on a fresh Debian 12 machine, as root (or through sudo):
#   ./lumivor.sh run    install what building and running need, build, start the window
#   ./lumivor.sh test   install what the tests need too, build, run every test headless
# More arguments go to make: ./lumivor.sh test CMAKE_ARGS=-DLUMIVOR_WERROR=ON
set -eu
cd "$(dirname "$0")"
case "${1:-}" in
run | test)
    target=$1
    shift
    ;;
*)
    echo "usage: $0 run|test [make arguments]" >&2
    exit 2
    ;;
esac
if ! command -v make >/dev/null 2>&1; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    echo "Installing: make"
    $sudo apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq make
fi
exec make "$target" "$@"
