#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs every marked example of the README and the manual page as written,
# with the built program first on PATH, against files made here at 44.1
# and 48 kHz: talk.wav (90 s of stereo, peaks -6 and -12 dB), talk.flac
# (the same, tagged with the title "about metadata" as ffmpeg writes it),
# talk.mp3, surround.wav (5.1, the centre at full scale, the rest at
# -6 dB), long.wav (10 minutes fading out) and calls/, a folder of 23
# files: calls, one named with a space and a quote, a silent one, a silent
# float one, a clipped one, one normalised to full scale, a clipped mu-law
# call and a text file.  "arecord" is a stand-in that records 3 s of a
# tone, 6 s of silence and 3 s of the tone (see below).  A marked example
# is a code block after a line
#   <!-- example: status=S lines=N last="LINE" -->    (README.md)
#   .\" example: status=S lines=N last="LINE"         (the manual page)
# each field optional; every command of the block must end with status S
# (0 by default) and nothing on standard error, printing N lines, the last
# of them LINE.  A line that starts with a space goes on with the command
# of the line before, as the next line of one script.  Exits with 77
# (skipped) without sox, ffmpeg, gnuplot or GNU parallel.
#
#   tests/examples.sh QUORVIN1B
set -uo pipefail
program=$(realpath "$1") src=$(cd "$(dirname "$0")/.." && pwd) work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for tool in sox ffmpeg gnuplot parallel; do
	command -v $tool >/dev/null || exit 77
done
mkdir "$work/bin"
ln -s "$program" "$work/bin/quorvin1b"
# The stand-in arecord writes WAV (-t wav), raw samples (-t raw), or a
# WAV file named last, whose header says 2 GiB of audio follow, as
# arecord's does until it ends.  On standard output it holds the last 3 s back
# until the pipeline has printed something into ./out, where the examples
# go: a pipeline that holds its lines back (awk reading in blocks, say)
# makes it wait 10 s and say so on standard error, which fails the
# example.
cat >"$work/bin/arecord" <<'EOF'
#!/bin/bash
sound=$(mktemp) && trap 'rm -f "$sound"' EXIT
sox -V1 -n -r 8000 -c 1 -b 16 -t wav "$sound" synth 3 sine 440 pad 0 6 repeat 1 trim 0 12
case "$*" in
*.wav) { head -c 40 "$sound"; printf '\0\0\0\200'; tail -c +45 "$sound"; } >"${!#}"; exit ;;
*raw*) skip=44 ;;
*) skip=0 ;;
esac
tail -c +$((skip + 1)) "$sound" | head -c $((44 + 9 * 16000 - skip))
for ((wait = 0; wait < 100; wait++)); do
	[ -s out ] && break
	sleep 0.1
done
[ -s out ] || echo "arecord: nothing came out of the pipeline for 10 s" >&2
tail -c +$((44 + 9 * 16000 + 1)) "$sound"
EOF
chmod +x "$work/bin/arecord"
export PATH=$work/bin:$PATH
# Where /sys is missing (a bare chroot) GNU parallel cannot count the
# cores itself and says so on standard error.
[ -e /sys/devices/system/cpu/possible ] || export PARALLEL="--jobs $(nproc)"

# The examples, as lines of the fields, a unit separator and the command.
examples() {
	awk 'function put() { if (command != "") print want "\037" command; command = "" }
	     /^(<!--|\.\\") example:/ { want = $0; sub(/^[^:]*: */, "", want); sub(/ *-->$/, "", want)
	                               marked = 1; next }
	     marked && /^(```sh|\.EX)/ { inside = 1; next }
	     inside && /^(```|\.EE)/ { put(); inside = marked = 0; next }
	     inside { gsub(/\\-/, "-"); gsub(/\\e/, "\\") }
	     inside && /^[ \t]/ { command = command "\036" $0; next }
	     inside { put(); command = $0 }' \
	    "$src/README.md" "$src/src/quorvin1b.1"
}

# calls/: a folder of recordings of 2 s each, at 8 kHz.
make_calls() {
	mkdir -p "calls/it's a call"
	local i
	for i in $(seq 16); do
		sox -V1 -n -r 8000 -e u-law "calls/call$i.wav" synth 2 sine 440 gain -$i
	done
	sox -V1 -n -r 8000 -e u-law "calls/it's a call/that one.wav" synth 2 sine 440 gain -3
	sox -V1 -D -n -r 8000 -b 16 calls/silent.wav trim 0 2
	sox -V1 -D -n -r 8000 -e float -b 32 calls/silent-float.wav trim 0 2
	sox -V1 -n -r 8000 -b 16 calls/clipped.wav synth 2 sine 440 gain 6
	sox -V1 -n -r 8000 -b 16 calls/normalised.wav synth 2 sine 440 gain -n
	sox -V1 -n -r 8000 -e u-law calls/loud.wav synth 2 sine 440 gain 6
	echo "not a recording" >calls/notes.wav
}

runs=0 failed=0
for rate in 44100 48000; do
	mkdir "$work/$rate"
	cd "$work/$rate" || exit 1
	sox -n -r $rate -c 2 -b 16 talk.wav synth 90 sine 300 sine 440 remix 1 2v0.5 \
		tremolo 0.05 90 gain -n -6
	sox -V1 -n -r $rate -c 6 -b 16 surround.wav synth 90 sine 300 gain -6 channels 6 \
		remix 1 2 3v2 4 5 6
	sox -V1 -n -r $rate -c 1 -b 16 long.wav synth 600 sine 440 gain -6 fade t 0 600 600
	make_calls
	ffmpeg -v error -i talk.wav -metadata title="about metadata" talk.flac
	ffmpeg -v error -i talk.wav talk.mp3
	while IFS=$'\037' read -r fields command; do
		status=0 lines="" last=""
		eval "$fields"
		command=${command//$'\036'/$'\n'}
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
	# The plot is a PNG (gnuplot leaves an empty file when it has nothing to draw).
	[ "$(head -c 4 talk.png | tail -c 3)" = PNG ] || failed=$((failed + 1))
done
echo "$runs examples run, $failed failed"
[ $runs -gt 0 ] && [ $failed -eq 0 ]
