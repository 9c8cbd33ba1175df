#!/bin/sh
# Makes the README's pictures: the window and the folder chooser as Xvfb shows them, and the
# enhanced version of docs/images/dune-before.jpg as lumivor-batch writes it.
# Usage: docs/make_pictures.sh [BUILD_FOLDER]   (default build/)
# Needs the Debian packages xvfb, xdotool and imagemagick.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
images=$(pwd)/docs/images
# A short, fixed place, since the pictures show its path.
scratch=/tmp/lumivor-demo
rm -rf "$scratch"
mkdir "$scratch"
display=:57

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$scratch"' EXIT
export DISPLAY="$display"
while ! xdotool getmouselocation >/dev/null 2>&1; do sleep 0.2; done

# Some folders and photos for the chooser to show, entered as the current folder.
mkdir -p "$scratch/Pictures/Family" "$scratch/Pictures/Garden" "$scratch/Pictures/Holiday"
for name in IMG_0412 IMG_0413 IMG_0417 IMG_0420; do
    cp "$images/dune-before.jpg" "$scratch/Pictures/Holiday/$name.jpg"
done
(cd "$scratch/Pictures/Holiday" && exec "$(cd "$OLDPWD" && pwd)/$build/app/lumivor") &
program=$!
window=$(xdotool search --sync --onlyvisible --name '^Lumivor$' | head -n 1)
sleep 1
xdotool type --window "$window" --delay 20 "$scratch/Pictures/Holiday"
xdotool key --window "$window" Tab
xdotool type --window "$window" --delay 20 "$scratch/Pictures/Holiday-enhanced"
sleep 0.5
import -window "$window" "$images/window.png"

# The chooser of the source field's "..." button.
xdotool mousemove --window "$window" 528 20 click 1
dialog=$(xdotool search --sync --onlyvisible --name '^Select Directory$' | head -n 1)
sleep 1
import -window "$dialog" "$images/chooser.png"
kill "$program"

mkdir "$scratch/before" "$scratch/after"
cp "$images/dune-before.jpg" "$scratch/before/dune.jpg"
"$build/app/lumivor-batch" -q "$scratch/before" "$scratch/after"
cp "$scratch/after/dune.jpg" "$images/dune-after.jpg"
for picture in window chooser; do
    mogrify -strip "$images/$picture.png"
done
ls -l "$images"
