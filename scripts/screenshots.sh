#!/bin/sh
# Takes pictures of the real desktop program under a virtual X display: the main window
# after start, and after a search typed into its boxes. Prints the folder of the PNGs.
# Usage: scripts/screenshots.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
missing=""
for tool in Xvfb:xvfb xdotool:xdotool import:imagemagick; do
  command -v "${tool%%:*}" >/dev/null || missing="$missing ${tool##*:}"
done
if [ -n "$missing" ]; then
  sudo_cmd=""; [ "$(id -u)" = 0 ] || sudo_cmd=sudo
  $sudo_cmd apt-get install -y -q $missing >/dev/null
fi
[ -x "$build/tarnwick" ] || { cmake -S . -B "$build" -G Ninja >/dev/null && ninja -C "$build" tarnwick; }

out=$(mktemp -d /tmp/tarnwick-shots.XXXXXX)
tree=$(mktemp -d)
mkdir -p "$tree/src/sub"
printf 'int main()\n{\n    return search_me(1);\n}\n' > "$tree/src/main.c"
printf '/* search_me twice: search_me */\n' > "$tree/src/sub/util.h"
export XDG_CONFIG_HOME="$out/config" XDG_DATA_HOME="$out/data"

display=:97
Xvfb $display -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true; rm -rf "$tree"' EXIT
sleep 1
export DISPLAY=$display
"$build/tarnwick" &
app=$!
sleep 2
win=$(xdotool search --sync --name "Tarnwick" 2>/dev/null | head -1 || true)
xdotool windowmove "$win" 0 0 2>/dev/null || true
sleep 1
import -window root -trim +repage "$out/main-window.png"

# The search box has the focus at start; the boxes follow in tab order.
# Each box starts with its first-use text, so its text is selected before typing.
xdotool key ctrl+a
xdotool type --delay 20 "search_me"
xdotool key Tab Tab ctrl+a
xdotool type --delay 20 "*.c;*.h"
xdotool key Tab ctrl+a
xdotool type --delay 20 "$tree/src/"
xdotool key Return
sleep 3
import -window root -trim +repage "$out/after-search.png"
echo "$out"
