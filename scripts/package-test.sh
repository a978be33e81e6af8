#!/bin/sh
# Builds the Debian packages (scripts/package.sh) and checks them: lintian finds no error
# in them; unpacked into a temporary root, tarnwick-cli runs from there (its version and a
# search) and so does the desktop program (an unattended search without a display), the
# desktop file and the AppStream metainfo validate, and every manual page renders without
# a warning. tarnwick-cli's package must not pull in Qt's GUI libraries.
#   sh scripts/package-test.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
dir="${1:-build-pkg}"
sh scripts/package.sh "$dir" >/dev/null
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
fail() {
  echo "package test: $*" >&2
  exit 1
}

cli_deb="$(ls "$dir"/packages/tarnwick-cli_*.deb)"
version="$(dpkg-deb -f "$cli_deb" Version)"
for deb in "$dir"/packages/*.deb; do
  echo "lintian $(basename "$deb"):"
  lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" || fail "lintian reports errors in $deb"
  dpkg-deb -x "$deb" "$root/pkg"
done
case "$(dpkg-deb -f "$cli_deb" Depends)" in
  *libqt6gui*|*libqt6widgets*) fail "tarnwick-cli depends on Qt's GUI libraries" ;;
esac

# The programs from the unpacked root only: no library path of the build.
unset LD_LIBRARY_PATH
export XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data"
bin="$root/pkg/usr/bin"
for program in "$bin"/*; do
  readelf -S "$program" | grep -q '\.debug_info' && fail "$program is not stripped"
done
[ "$("$bin/tarnwick-cli" --version)" = "tarnwick-cli $version" ] || fail "tarnwick-cli --version"
mkdir -p "$root/tree/sub"
printf 'one\nthe needle here\n' >"$root/tree/sub/a.txt"
printf 'nothing\n' >"$root/tree/b.txt"
out="$("$bin/tarnwick-cli" /Sneedle /P "$root/tree/*.txt" /d)" || fail "tarnwick-cli search: status $?"
echo "$out" | grep -qx "Processing file : $root/tree/sub/a.txt" || fail "tarnwick-cli search: $out"
echo "$out" | grep -qx "Line  *2 - the <needle> here" || fail "tarnwick-cli search: $out"
echo "$out" | grep -qx "Searched 2 file(s), found 1 occurrences in 1 file(s)" || fail "tarnwick-cli search: $out"
if [ -x "$bin/tarnwick" ]; then
  QT_QPA_PLATFORM=offscreen timeout 120 "$bin/tarnwick" /Sneedle /P "$root/tree/*.txt" /dq >/dev/null 2>&1 ||
    fail "tarnwick /q search: status $?"
  desktop-file-validate "$root/pkg/usr/share/applications/org.tarnwick.Tarnwick.desktop" ||
    fail "desktop-file-validate"
  appstreamcli validate --no-net "$root/pkg/usr/share/metainfo/org.tarnwick.Tarnwick.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate"
  for size in 16x16 24x24 32x32 48x48 64x64 128x128 256x256 scalable; do
    ls "$root/pkg/usr/share/icons/hicolor/$size/apps/org.tarnwick.Tarnwick."* >/dev/null || fail "no $size icon"
  done
fi
for page in "$root"/pkg/usr/share/man/man1/*.1.gz; do
  warnings="$(zcat "$page" | LC_ALL=C.UTF-8 groff -man -ww -z 2>&1)"
  [ -z "$warnings" ] || fail "groff warns about $(basename "$page"): $warnings"
done
for shell_file in bash-completion/completions/tarnwick-cli zsh/vendor-completions/_tarnwick-cli \
  fish/vendor_completions.d/tarnwick-cli.fish; do
  [ -s "$root/pkg/usr/share/$shell_file" ] || fail "no $shell_file"
done
bash -n "$root/pkg/usr/share/bash-completion/completions/tarnwick-cli" || fail "bash completion syntax"
echo "package test: $(ls "$dir"/packages/*.deb | wc -l) packages passed"
