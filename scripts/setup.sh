#!/bin/sh
# Installs the Debian packages the build and the tests need. Does nothing when all of
# them are present already, so it is cheap to run before every build.
set -eu
# git: the ignore-file tests compare the walk with git check-ignore.
# The package test (scripts/package-test.sh): dpkg-dev (dpkg-shlibdeps), lintian,
# desktop-file-utils, appstream (appstreamcli) and groff-base check the Debian packages.
pkgs="build-essential cmake ninja-build qt6-base-dev libarchive-dev libgtest-dev libgmock-dev libbenchmark-dev git
  dpkg-dev lintian desktop-file-utils appstream groff-base"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
fi
