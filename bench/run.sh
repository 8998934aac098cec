#!/bin/bash
# Measures quorvin1b against a raw read (dd) and, where installed, general
# audio tools on ~265 MB files held in the page cache, from the file and
# through a pipe, and checks the speed and memory targets.
#
#   bench/run.sh [BUILD_DIR]      (default: build; files go to $BENCH_DIR)
#
# Prints the median of $RUNS runs (default 5) for each command and the ratios.
set -euo pipefail

build=${1:-build}
dir=${BENCH_DIR:-/tmp/quorvin-bench}
runs=${RUNS:-5}
tool=$build/quorvin1b
mkdir -p "$dir"

# name coding channels rate seconds (each about 265 MB).  G.711 at 8 kHz
# mono, as telephones record it, makes 20 lines a second of 400 bytes
# each: there the lines, not the decoding, set the pace, so it is measured
# but held to no target.
files=("s16 s16 2 44100 1500" "s24 s24 2 48000 920" "f32 f32 2 44100 750"
       "s32 s32 2 44100 750" "u8 u8 2 44100 3000" "mulaw mulaw 2 44100 3000"
       "alaw alaw 2 44100 3000" "mulaw8k mulaw 1 8000 33000")
for file in "${files[@]}"; do
	set -- $file
	[ -s "$dir/$1.wav" ] || "$build/make_wav" "$dir/$1.wav" "$2" "$3" "$4" "$5"
done
[ -s "$dir/small.wav" ] || "$build/make_wav" "$dir/small.wav" s16 2 44100 6

# Median wall time, in seconds, of a command run $runs times.
median() {
	local times=()
	for ((i = 0; i < runs; i++)); do
		local t0=$(date +%s%N)
		"$@" >/dev/null 2>&1
		local t1=$(date +%s%N)
		times+=($(( (t1 - t0) / 1000 )))
	done
	printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)]/1e6}'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
pass=0 fail=0
check() {   # description, condition as awk expression
	if awk "BEGIN {exit !($2)}"; then echo "  PASS $1"; pass=$((pass + 1))
	else echo "  FAIL $1"; fail=$((fail + 1)); fi
}

have_sox=$(command -v sox || true)
have_ffmpeg=$(command -v ffmpeg || true)
echo "median of $runs runs, warm page cache; seconds"
for file in "${files[@]}"; do
	set -- $file
	f=$dir/$1.wav
	cat "$f" >/dev/null
	q=$(median "$tool" "$f" 0 1e9)
	d=$(median dd if="$f" of=/dev/null bs=32k)
	line="$1: quorvin1b $q  dd $d  (x$(ratio "$q" "$d") dd)"
	s=""
	if [ -n "$have_sox" ]; then
		s=$(median sox "$f" -n stats)
		line+="  sox-stats $s  (sox/quorvin1b $(ratio "$s" "$q"))"
	fi
	if [ -n "$have_ffmpeg" ]; then
		m=$(median ffmpeg -nostdin -i "$f" -af volumedetect -f null -)
		line+="  ffmpeg-volumedetect $m  (ffmpeg/quorvin1b $(ratio "$m" "$q"))"
	fi
	echo "$line"
	case $1 in f32 | s32) limit=2 ;; mulaw8k) limit=0 ;; *) limit=2.5 ;; esac
	[ "$limit" = 0 ] || check "$1 within ${limit}x dd" "$q <= $limit * $d"
	[ -z "$s" ] || check "$1 at least 2.5x faster than sox stats" "$s >= 2.5 * $q"
	if [ "$1" = s16 ] || [ "$1" = s24 ] || [ "$1" = f32 ]; then
		qp=$(median sh -c "cat '$f' | '$tool' - 0 1e9")
		dp=$(median sh -c "cat '$f' | dd bs=64k of=/dev/null")
		echo "$1 through a pipe: quorvin1b $qp  dd $dp  (x$(ratio "$qp" "$dp") dd)"
		check "$1 through a pipe within 1.5x dd" "$qp <= 1.5 * $dp"
	fi
done

# Lines whose sum in lanes did not settle are read again: count the reads
# beyond the one pass over each file.
if command -v strace >/dev/null; then
	for name in f32 s32; do
		f=$dir/$name.wav
		# The loader's reads and the head: those of a run over one block.
		strace -e trace=pread64 -o "$dir/trace" "$tool" "$f" 0 0.001 >/dev/null
		base=$(( $(grep -c '^pread64' "$dir/trace") - 1 ))
		strace -e trace=pread64 -o "$dir/trace" "$tool" "$f" 0 1e9 >/dev/null
		reads=$(( $(grep -c '^pread64' "$dir/trace") - base ))
		blocks=$(( ($(stat -c %s "$f") - 44 + 32767) / 32768 ))
		echo "$name: $reads block reads for a pass of $blocks: $((reads - blocks)) read again for lines added in order"
	done
fi

# Median peak resident set, in KiB, over $runs runs (single runs vary by a
# few dozen pages with how the loader's libraries happen to be mapped).
rss() {
	for ((i = 0; i < runs; i++)); do
		/usr/bin/time -f %M "$tool" "$1" 0 1e9 2>&1 >/dev/null | tail -1
	done | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}
small=$(rss "$dir/small.wav") large=$(rss "$dir/s16.wav")
echo "peak resident memory: 1 MB file ${small} KiB, 265 MB file ${large} KiB"
check "peak memory under 4 MiB" "$small < 4096 && $large < 4096"
# The two may differ only by the pages of the fixed 64 KiB output buffer and
# 64 KiB row of dots that the small file's few lines leave untouched.
check "peak memory the same for both files, but for the output buffers (128 KiB)" \
      "$large - $small <= 128 && $small - $large <= 128"

lines=$("$tool" "$dir/s16.wav" 0 100 1 | wc -l)
t=$(median "$tool" "$dir/s16.wav" 0 100 1)
rate=$(awk -v n="$lines" -v t="$t" 'BEGIN {printf "%.1f", n / t / 1e6}')
echo "resolution 1: $lines lines in $t s to /dev/null: $rate million lines/s"
check "at least 4 million lines/s" "$rate >= 4"

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
