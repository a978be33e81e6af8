#!/bin/sh
# Takes pictures of the real desktop program under a virtual X display: the recovery
# dialog at start, the main window, a search, View Context on its first hit, File
# Operations, Touch, the include/exclude mask dialog, Preview Replace, a replace
# with its questions open, every page of the Options sheet, Customize Toolbar, About,
# Undo Last Replace after a preview was applied,
# "No Files Were Found", a script named on the command line shown in the boxes, each page
# of the script editor, and the Binary Mode dialog with its code table at 0x80.
# Prints the folder of the PNGs.
# Usage: scripts/screenshots.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
missing=""
# A window manager makes windows active, which keyboard shortcuts and menus need.
for tool in Xvfb:xvfb xdotool:xdotool import:imagemagick openbox:openbox; do
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
printf '[Script for Tarnwick]\r\n[Search]\r\nsearch_me\r\n[Replace]\r\nfound_you\r\n[Path]\r\n%s\r\n[End of Tarnwick Script]\r\n' \
  "$tree/src/*.c;*.h" > "$tree/rename.tws"
export XDG_CONFIG_HOME="$out/config" XDG_DATA_HOME="$out/data"
# A rewrite that was interrupted: its file and safety copy, as a crash leaves them.
mkdir -p "$XDG_DATA_HOME/tarnwick/safety"
printf 'half written' > "$tree/src/notes.txt"
printf 'the original notes\n' > "$XDG_DATA_HOME/tarnwick/safety/TW0001"
copy="$XDG_DATA_HOME/tarnwick/safety/TW0001"
# kind, original, copy, the copy's offset and length, its device and inode
printf 'S\t%s\t%s\t0\t%s\t%s\t%s\n' "$tree/src/notes.txt" "$copy" \
  "$(stat -c %s "$copy")" "$(stat -c %d "$copy")" "$(stat -c %i "$copy")" \
  > "$XDG_DATA_HOME/tarnwick/recovery.list"

display=:97
Xvfb $display -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
app=""
wm=""
trap 'kill $app $wm $xvfb 2>/dev/null || true; rm -rf "$tree"' EXIT
sleep 1
export DISPLAY=$display
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
shot() { sleep "${2:-1}"; import -window root -trim +repage "$out/$1.png"; }
key() { xdotool key --delay 60 "$@"; }
typed() { xdotool type --delay 15 "$1"; }

"$build/tarnwick" &
app=$!
sleep 2
shot recovery-dialog 0
# "Decide Later" keeps the entry; the dialog's cancel button does that.
key Escape
win=$(xdotool search --sync --name "^Tarnwick$" 2>/dev/null | head -1 || true)
xdotool windowmove "$win" 20 20 2>/dev/null || true
shot main-window

# The search box has the focus at start; each box starts with its first-use text, so
# the text is selected before typing.
key ctrl+a; typed "search_me"
key alt+f ctrl+a; typed "*.c;*.h"
key alt+p ctrl+a; typed "$tree/src/"
key Return
shot after-search 2

# View Context on the first hit: the results list (Alt+U), its second line, Enter.
key alt+u Home Down Return
shot view-context 2
key Escape
sleep 1

# File Operations on that line's file (F8: Copy chosen), then Touch on the files the boxes
# select (Ctrl+T); both cancelled.
key alt+u Home Down F8
shot file-operations 2
key Escape
sleep 1
key ctrl+t
shot touch 3
key Escape
sleep 1

# The mask dialog: the "..." beside the mask box comes just before the path box.
key alt+p shift+Tab space
shot mask-dialog 2
key Escape
sleep 1

# Preview Replace (Ctrl+Shift+H): the changes the replace would make, as a patch, in the
# preview window; Close writes nothing.
key alt+r ctrl+a; typed "found_you"
key ctrl+shift+h
shot preview-replace 3
xdotool search --name "^Preview Replace$" >/dev/null 2>&1 && key Escape
sleep 1

# Replace: with no backup directory set the run asks first, then per hit.
key ctrl+h
shot question-no-backup 2
key Return
shot replace-confirmation 2
key Escape
sleep 1

# Every page of the Options sheet (View, Options...), then Cancel.
key alt+v t
shot options-general 2
for page in search replace output filter; do
  key ctrl+Tab
  shot "options-$page"
done
key Escape
sleep 1

# "&Context" and "&Customize Toolbar..." share their letter: the first press picks the
# enabled one, Return opens it (a second Return when the menu took the first itself).
key alt+v; sleep 0.5; key c; sleep 0.5; key Return; sleep 1
xdotool search --name "^Customize Toolbar$" >/dev/null 2>&1 || key Return
shot customize-toolbar 2
key Escape
sleep 1

key alt+h a
shot about 2
key Escape
sleep 1

# Preview Replace again, and its Replace applies the preview (the run asks only whether to
# go on without a backup directory: Yes) and the window closes; then Edit, Undo Last
# Replace... lists the run's files, and Restore takes them back.
key ctrl+shift+h
sleep 3
key alt+r
sleep 1
# The question belongs to the main window, the newest window of that title.
question=$(xdotool search --name "^Tarnwick$" 2>/dev/null | tail -1 || true)
[ -z "$question" ] || xdotool windowactivate --sync "$question" 2>/dev/null || true
key Return
sleep 2
key alt+e u
shot undo-last-replace 2
key Return
sleep 1

key alt+p ctrl+a; typed "$tree/nothing-here/"
key Return
shot no-files-found 2
key Return
sleep 1

# A script named on the command line fills the boxes and greys the flags it decides;
# Search runs it.
key alt+a x
wait $app 2>/dev/null || true
"$build/tarnwick" /C "$tree/rename.tws" &
app=$!
sleep 2
key Escape # the interrupted rewrite is still pending: "Decide Later"
win=$(xdotool search --sync --name "^Tarnwick$" 2>/dev/null | head -1 || true)
xdotool windowmove "$win" 20 20 2>/dev/null || true
shot script-shown 2
key ctrl+f
shot script-search 2

# The script editor on that script (View, Script...): each page, then Cancel.
key alt+v; sleep 0.5; key s; sleep 0.5
xdotool search --name "^Script Editor" >/dev/null 2>&1 || key Return
shot script-editor-pairs 2
key ctrl+Tab
shot script-editor-paths
key ctrl+Tab
shot script-editor-advanced
key Escape
sleep 1

# The Binary Mode dialog from the "..." beside the replace box, with the code table
# scrolled to row 0x80 and that row selected.
key alt+r Tab space
sleep 1
key Tab Tab
xdotool key --delay 5 --repeat 128 Down
shot binary-mode 2
key Escape
echo "$out"
