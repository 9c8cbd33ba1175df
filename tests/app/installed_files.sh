#!/bin/sh
# Installs the build into a scratch root and checks what a desktop and man find there: the
# desktop entry, the AppStream metainfo with the entry it launches, and both man pages.
set -eu
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cmake --install "$build" --prefix "$root/usr" >/dev/null
desktop-file-validate "$root/usr/share/applications/io.github.lumivor.Lumivor.desktop"
appstreamcli validate-tree --no-net "$root"
for page in lumivor lumivor-batch; do
    file=$root/usr/share/man/man1/$page.1
    warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "$file: $warnings"
        exit 1
    fi
    MANWIDTH=80 man -l "$file" | grep -q "^NAME"
done
