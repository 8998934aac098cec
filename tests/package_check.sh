#!/bin/bash
# SPDX-License-Identifier: MIT
# Checks what users install: the layout `cmake --install` gives a finished
# build, the manual page, and a Debian package (as tools/release makes it):
# lintian finds no error or warning, hardening-check passes, the copyright
# file, the changelog and the gzipped manual page are there, and the
# program draws the sample.  As root, and when quorvin1b is not installed
# already, also installs the package with dpkg and removes it again.
#
#   tests/package_check.sh BUILD_DIR DEB
set -euo pipefail
build=$(cd "$1" && pwd) deb=$(realpath "$2") src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sample=$src/sample/sample.wav
expected=$("$build/quorvin1b" "$sample" 0 4)
cmake --install "$build" --prefix "$work/prefix" >/dev/null
[ "$("$work/prefix/bin/quorvin1b" "$sample" 0 4)" = "$expected" ]
page=$src/src/quorvin1b.1
warnings=$(groff -man -ww -z "$page" 2>&1; MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }

lintian --pedantic -I -E "$deb" 2>/dev/null | tee "$work/lintian"
! grep -q '^[EW]:' "$work/lintian"
dpkg -x "$deb" "$work/unpacked"
hardening-check --nocfprotection "$work/unpacked/usr/bin/quorvin1b"
doc=$work/unpacked/usr/share/doc/quorvin1b
dep5=https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
[ "$(head -1 "$doc/copyright")" = "Format: $dep5" ]
version=$(dpkg-deb -f "$deb" Version)
[ "$(dpkg-parsechangelog -l "$doc/changelog.gz" -S Version)" = "$version" ]
gzip -t "$work/unpacked/usr/share/man/man1/quorvin1b.1.gz"
[ "$("$work/unpacked/usr/bin/quorvin1b" "$sample" 0 4)" = "$expected" ]
if [ "$(id -u)" = 0 ] && ! dpkg -s quorvin1b >/dev/null 2>&1; then
	dpkg -i "$deb" >/dev/null
	[ "$(quorvin1b "$sample" 0 4)" = "$expected" ]
	[ "$(man -w quorvin1b)" = /usr/share/man/man1/quorvin1b.1.gz ]
	dpkg -r quorvin1b >/dev/null
	! command -v quorvin1b >/dev/null
fi
echo "package check passed: quorvin1b $version"
