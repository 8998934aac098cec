#!/bin/bash
# SPDX-License-Identifier: MIT
# Checks the installed layout, the man page and the Debian package of a
# finished build; as root, and when quorvin1b is not installed already, also
# installs the package with dpkg and removes it again.
#
#   tests/package_check.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd) src=$(cd "$(dirname "$0")/.." && pwd) work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
expected=$("$build/quorvin1b" "$src/sample/sample.wav" 0 4)
cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -x "$work/prefix/bin/quorvin1b" && test -f "$work/prefix/share/man/man1/quorvin1b.1"
page=$src/src/quorvin1b.1
warnings=$(groff -man -ww -z "$page" 2>&1; MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
(cd "$build" && rm -f quorvin1b_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quorvin1b_*.deb)
dpkg-deb -I "$deb"
[ "$(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Version)" = "quorvin1b 1.01" ]
dpkg-deb -f "$deb" Depends | grep -q '^libc6 (>= '
dpkg -x "$deb" "$work/unpacked"
[ "$("$work/unpacked/usr/bin/quorvin1b" "$src/sample/sample.wav" 0 4)" = "$expected" ]
if [ "$(id -u)" = 0 ] && ! dpkg -s quorvin1b >/dev/null 2>&1; then
	dpkg -i "$deb" >/dev/null
	[ "$(quorvin1b "$src/sample/sample.wav" 0 4)" = "$expected" ]
	[ "$(man -w quorvin1b)" = /usr/share/man/man1/quorvin1b.1 ]
	dpkg -r quorvin1b >/dev/null
	[ ! -e /usr/bin/quorvin1b ] && [ ! -e /usr/share/man/man1/quorvin1b.1 ]
fi
echo "package check passed"
