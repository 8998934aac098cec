#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs every marked example of the README and the manual page as written,
# with the built program first on PATH, against files made here at 44.1
# and 48 kHz: talk.wav (90 s of stereo, peaks -6 and -12 dB), talk.flac
# (the same, tagged with the title "about metadata" as ffmpeg writes it),
# talk.mp3 and surround.wav (5.1).  "arecord" is a stand-in that records
# 5 s of a tone.  A marked example is a code block after a line
#   <!-- example: status=S lines=N last="LINE" -->    (README.md)
#   .\" example: status=S lines=N last="LINE"         (the manual page)
# each field optional; every command of the block must end with status S
# (0 by default) and nothing on standard error, printing N lines, the last
# of them LINE.  Exits with 77 (skipped) without sox or ffmpeg.
#
#   tests/examples.sh QUORVIN1B
set -uo pipefail
program=$(realpath "$1") src=$(cd "$(dirname "$0")/.." && pwd) work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v sox >/dev/null && command -v ffmpeg >/dev/null || exit 77
mkdir "$work/bin"
ln -s "$program" "$work/bin/quorvin1b"
printf '#!/bin/sh\nexec sox -V1 -n -r 8000 -c 1 -b 16 -t wav - synth 5 sine 440\n' \
	>"$work/bin/arecord"
chmod +x "$work/bin/arecord"
export PATH=$work/bin:$PATH

# The examples, as lines of the fields, a unit separator and the command.
examples() {
	awk '/^(<!--|\.\\") example:/ { want = $0; sub(/^[^:]*: */, "", want); sub(/ *-->$/, "", want)
	                               marked = 1; next }
	     marked && /^(```sh|\.EX)/ { inside = 1; next }
	     inside && /^(```|\.EE)/ { inside = marked = 0; next }
	     inside { gsub(/\\-/, "-"); gsub(/\\e/, "\\"); print want "\037" $0 }' \
	    "$src/README.md" "$src/src/quorvin1b.1"
}

runs=0 failed=0
for rate in 44100 48000; do
	mkdir "$work/$rate"
	cd "$work/$rate" || exit 1
	sox -n -r $rate -c 2 -b 16 talk.wav synth 90 sine 300 sine 440 remix 1 2v0.5 \
		tremolo 0.05 90 gain -n -6
	sox -n -r $rate -c 6 -b 16 surround.wav synth 90 sine 300 gain -6
	ffmpeg -v error -i talk.wav -metadata title="about metadata" talk.flac
	ffmpeg -v error -i talk.wav talk.mp3
	while IFS=$'\037' read -r fields command; do
		status=0 lines="" last=""
		eval "$fields"
		bash -o pipefail -c "$command" </dev/null >out 2>err
		got=$?
		runs=$((runs + 1))
		[ $got = "$status" ] && [ ! -s err ] && [ "${lines:-$(wc -l <out)}" = "$(wc -l <out)" ] &&
			[ "${last:-$(tail -1 out)}" = "$(tail -1 out)" ] && continue
		failed=$((failed + 1))
		echo "FAILED at $rate Hz (status $got, $(wc -l <out) lines): $command"
		tail -n 2 out err
	done < <(examples)
	# The tagged stream, whose title holds the letters "data", gives the
	# levels of the plain file.
	tagged=$(ffmpeg -v error -i talk.flac -f wav - 2>/dev/null | quorvin1b - 0 inf | tail -1)
	[ "$tagged" = "$(quorvin1b talk.wav 0 inf | tail -1)" ] || failed=$((failed + 1))
done
echo "$runs examples run, $failed failed"
[ $runs -gt 0 ] && [ $failed -eq 0 ]
