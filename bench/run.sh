#!/bin/bash
# SPDX-License-Identifier: MIT
# Measures quorvin1b against cat, a raw read (dd) and, where installed,
# general audio tools on ~265 MB files, warm and cold, from the file and
# through a pipe, and checks the speed and memory targets; where sox and
# ffmpeg are installed, the compressed codings against them and RIFX and
# Wave64 against their RIFF twins too.
#
#   bench/run.sh [BUILD_DIR]      (default: build; files go to $BENCH_DIR)
#
# Warm: each file's pages are dropped from the page cache, then read once
# by cat, as readahead fills it (large folios where the kernel makes
# them).  Cold: the pages are dropped before every run.  quorvin1b, dd
# and cat run in turn, $RUNS times each (default 9; cold runs 5), so
# that all see the same machine; the medians are compared.  The user time
# per million samples shows the cost of the sums.
set -euo pipefail

build=${1:-build}
dir=${BENCH_DIR:-/tmp/quorvin-bench}
runs=${RUNS:-9}
tool=$build/quorvin1b
mkdir -p "$dir"

# name coding channels rate seconds dd-limit dd-limit-v2 (each about 265
# MB); a dd limit is the largest ratio to dd allowed, for the AVX2 copy
# of the kernels and for the SSSE3/SSE4.1 one (x86-64-v2).  G.711 at
# 8 kHz mono, as telephones record it, makes 20 lines a second of 400
# bytes each: there the lines set the pace.  5.1 at 24 bits, 8 channels
# of float and 64 tracks of 24 bits keep their peaks in cycles of
# several slots.
files=("s16 s16 2 44100 1500 1.3 1.5" "s24 s24 2 48000 920 1.3 1.5" "f32 f32 2 44100 750 1.5 1.5"
       "s32 s32 2 44100 750 1.3 1.5" "u8 u8 2 44100 3000 1.3 1.5"
       "mulaw mulaw 2 44100 3000 2.0 2.0" "alaw alaw 2 44100 3000 2.0 2.0"
       "mulaw8k mulaw 1 8000 33000 2.5 3.0" "s24x6 s24 6 48000 307 1.3 1.5"
       "f32x8 f32 8 48000 172 1.5 1.5" "s24x64 s24 64 48000 29 1.3 1.5")
# The targets against cat, warm: the AVX2 copy at or below cat, but the
# telephone file, within 1.5; the SSSE3/SSE4.1 copy within 1.1; the SSE2
# copy within 2.0 of dd.  Cold, the AVX2 and SSE4.1 copies within 1.05 of
# cat; the SSE2 copy's sums of the heavier codings take half as long as
# the read itself, and show in a cold run too.
# Which copy the build runs here: the AVX2 one, the x86-64-v2 one where the
# build or the processor has no AVX2, or the SSE2 one.
copy=avx2
if ! grep -qw avx2 /proc/cpuinfo || grep -q '^QUORVIN_AVX2:BOOL=OFF' "$build/CMakeCache.txt"; then
	copy=v2
	grep -q '^QUORVIN_SSE41:BOOL=OFF' "$build/CMakeCache.txt" && copy=sse2
fi
for file in "${files[@]}"; do
	set -- $file
	[ -s "$dir/$1.wav" ] || "$build/make_wav" "$dir/$1.wav" "$2" "$3" "$4" "$5"
done
[ -s "$dir/small.wav" ] || "$build/make_wav" "$dir/small.wav" s16 2 44100 6
# The widest frame read: 1024 channels of doubles, 8 KiB a frame.
[ -s "$dir/widest.wav" ] || "$build/make_wav" "$dir/widest.wav" f64 1024 8000 4

# Drops a file's pages from the page cache; warms it as readahead would.
drop() { dd if="$1" iflag=nocache count=0 status=none; }
warm() { drop "$1"; cat "$1" >/dev/null; }

# Runs each command in turn $runs times, after $prepare (untimed) each
# time, and prints, for each, the median wall time and the mean user
# time, in milliseconds.  User time is counted in clock ticks of a few
# milliseconds; the mean of many runs is still right, where a median would
# round to a tick.
prepare=:
medians() {
	local n=$# i k out
	local -a wall user
	for ((i = 0; i < runs; i++)); do
		for ((k = 1; k <= n; k++)); do
			eval "$prepare"
			out=$( { TIMEFORMAT='%3R %3U'; time sh -c "${!k}" >/dev/null 2>&1; } 2>&1 )
			wall[k]+="${out% *} " user[k]+="${out#* } "
		done
	done
	for ((k = 1; k <= n; k++)); do
		echo "$(median ${wall[k]}) $(mean ${user[k]})"
	done
}
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]*1000}'; }
mean() { printf '%s\n' "$@" | awk '{s+=$1} END {printf "%.2f", s*1000/NR}'; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
pass=0 fail=0
check() {   # description, condition as awk expression
	if awk "BEGIN {exit !($2)}"; then echo "  PASS $1"; pass=$((pass + 1))
	else echo "  FAIL $1"; fail=$((fail + 1)); fi
}

norandom=""
setarch "$(uname -m)" -R true 2>/dev/null && norandom="setarch $(uname -m) -R"
rss() {
	for ((i = 0; i < runs; i++)); do
		/usr/bin/time -f %M $norandom sh -c "$1" 2>&1 >/dev/null | tail -1
	done | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}
have_sox=$(command -v sox || true)
echo "medians of $runs runs in turn, warm and cold; milliseconds; the $copy copy of the kernels"
printf '%-8s %7s %6s %6s %6s %6s %10s %6s | %6s %6s %6s\n' file quorvin dd cat "q/dd" "q/cat" \
	"user µs/M" "sox/q" cold "cat" "q/cat"
for file in "${files[@]}"; do
	set -- $file
	f=$dir/$1.wav limit=$6
	[ $copy = v2 ] && limit=$7
	bytes=1
	case $2 in s16) bytes=2 ;; s24) bytes=3 ;; s32 | f32) bytes=4 ;; esac
	msamples=$(awk -v s="$(stat -c %s "$f")" -v b=$bytes 'BEGIN {print (s - 44) / b / 1e6}')
	warm "$f"
	mapfile -t m < <(medians "'$tool' '$f' 0 1e9" "dd if='$f' of=/dev/null bs=32k" "cat '$f'")
	q=${m[0]% *} qu=${m[0]#* } d=${m[1]% *} c=${m[2]% *}
	s="" sq=""
	if [ -n "$have_sox" ]; then
		s=$(runs=3 medians "sox '$f' -n stats") s=${s% *}
		sq=$(ratio "$s" "$q")
	fi
	mapfile -t k < <(runs=5 prepare="drop '$f'" medians "'$tool' '$f' 0 1e9" "cat '$f'")
	kq=${k[0]% *} kc=${k[1]% *}
	printf '%-8s %7s %6s %6s %6s %6s %10s %6s | %6s %6s %6s\n' "$1" "$q" "$d" "$c" \
		"$(ratio "$q" "$d")" "$(ratio "$q" "$c")" \
		"$(awk -v u="$qu" -v n="$msamples" 'BEGIN {printf "%.0f", u * 1000 / n}')" "$sq" \
		"$kq" "$kc" "$(ratio "$kq" "$kc")"
	case $copy in
	avx2)
		check "$1 within ${limit}x dd" "$q <= $limit * $d"
		if [ "$1" = mulaw8k ]; then check "$1 warm within 1.5x cat" "$q <= 1.5 * $c"
		else check "$1 warm at or below cat" "$q <= $c"; fi ;;
	v2)
		check "$1 within ${limit}x dd" "$q <= $limit * $d"
		check "$1 warm within 1.1x cat" "$q <= 1.1 * $c" ;;
	sse2)
		check "$1 within 2x dd" "$q <= 2 * $d" ;;
	esac
	[ $copy = sse2 ] || check "$1 cold within 1.05x cat" "$kq <= 1.05 * $kc"
	[ -z "$s" ] || check "$1 at least 2.5x faster than sox stats" "$s >= 2.5 * $q"
	if [ "$1" = s16 ] || [ "$1" = s24 ] || [ "$1" = f32 ] || [ "$1" = s24x6 ]; then
		mapfile -t m < <(medians "cat '$f' | '$tool' - 0 1e9" "cat '$f' | dd bs=64k of=/dev/null")
		echo "$1 through a pipe: quorvin1b ${m[0]% *}  cat | dd ${m[1]% *}" \
		     "(x$(ratio "${m[0]% *}" "${m[1]% *}"))"
		check "$1 through a pipe within 1.5x cat | dd" "${m[0]% *} <= 1.5 * ${m[1]% *}"
	fi
done

# The codings read through a decoder, on 10 minutes each, against ffmpeg
# and sox: IMA and MS ADPCM at 44.1 kHz stereo, GSM 06.10 at 8 kHz mono;
# and the containers against their RIFF twins, on each copy.
if [ -n "$have_sox" ] && command -v ffmpeg >/dev/null; then
	[ -s "$dir/talk16.wav" ] || "$build/make_wav" "$dir/talk16.wav" s16 2 44100 600
	[ -s "$dir/phone16.wav" ] || "$build/make_wav" "$dir/phone16.wav" s16 1 8000 600
	[ -s "$dir/ima.wav" ] || sox "$dir/talk16.wav" -e ima-adpcm "$dir/ima.wav"
	[ -s "$dir/ms.wav" ] || sox "$dir/talk16.wav" -e ms-adpcm "$dir/ms.wav"
	[ -s "$dir/gsm.wav" ] || sox "$dir/phone16.wav" -e gsm-full-rate "$dir/gsm.wav"
	for name in ima ms gsm; do
		f=$dir/$name.wav
		warm "$f"
		mapfile -t m < <(medians "'$tool' '$f' 0 1e9" "ffmpeg -v error -i '$f' -f null -" \
		                         "sox '$f' -n stats")
		q=${m[0]% *} ff=${m[1]% *} sx=${m[2]% *}
		echo "$name: quorvin1b $q ms, ffmpeg $ff ms (x$(ratio "$ff" "$q")), sox stats $sx ms" \
		     "(x$(ratio "$sx" "$q"))"
		if [ $name = gsm ]; then
			faster=$(awk -v a="$ff" -v b="$sx" 'BEGIN {print a < b ? a : b}')
			check "$name at least 2x faster than ffmpeg and sox" "$faster >= 2 * $q"
		else
			check "$name at least 10x faster than ffmpeg" "$ff >= 10 * $q"
		fi
		mem=$(rss "exec '$tool' '$f' 0 1e9")
		check "$name peak memory within 8 MiB ($mem KiB)" "$mem <= 8192"
	done
	for name in s16 s24 f32; do
		[ -s "$dir/$name-rifx.wav" ] || sox "$dir/$name.wav" -B "$dir/$name-rifx.wav"
		[ -s "$dir/$name.w64" ] || sox "$dir/$name.wav" "$dir/$name.w64"
		for f in "$dir/$name.wav" "$dir/$name-rifx.wav" "$dir/$name.w64"; do warm "$f"; done
		mapfile -t m < <(medians "'$tool' '$dir/$name.wav' 0 1e9" \
		                         "'$tool' '$dir/$name-rifx.wav' 0 1e9" "'$tool' '$dir/$name.w64' 0 1e9")
		echo "$name: RIFF ${m[0]% *} ms, RIFX ${m[1]% *} ms, Wave64 ${m[2]% *} ms"
		check "$name RIFX within 1.1x RIFF" "${m[1]% *} <= 1.1 * ${m[0]% *}"
		check "$name Wave64 within 1.1x RIFF" "${m[2]% *} <= 1.1 * ${m[0]% *}"
	done
fi

# Lines whose sum in lanes did not settle are read again, by pread: count
# those reads beyond the head's.
if command -v strace >/dev/null; then
	for name in f32 s32; do
		f=$dir/$name.wav
		strace -e trace=pread64 -o "$dir/trace" "$tool" "$f" 0 0.001 >/dev/null
		base=$(grep -c '^pread64' "$dir/trace")
		strace -e trace=pread64 -o "$dir/trace" "$tool" "$f" 0 1e9 >/dev/null
		echo "$name: $(( $(grep -c '^pread64' "$dir/trace") - base )) reads for lines added again in order"
	done
fi

# Median peak resident set, in KiB, over $runs runs, with the addresses
# not randomized where setarch may turn that off: randomized runs vary by
# up to 300 KiB with where the loader happens to map the libraries.  A
# regular file's window of 4 MiB, mapped, counts as resident.
small=$(rss "exec '$tool' '$dir/small.wav' 0 1e9") large=$(rss "exec '$tool' '$dir/s16.wav' 0 1e9")
widest=$(rss "exec '$tool' '$dir/widest.wav' 0 1e9")
piped=$(rss "cat '$dir/s16.wav' | '$tool' - 0 1e9")
echo "peak resident memory: 1 MB file ${small} KiB, 265 MB file ${large} KiB," \
     "1024 channels of doubles ${widest} KiB, through a pipe ${piped} KiB"
check "peak memory within 2.3 MiB and a window (6.3 MiB)" \
      "$small <= 6451 && $large <= 6451 && $widest <= 6451 && $piped <= 6451"
check "a stream's peak memory within 2.5 MiB" "$piped <= 2560"

lines=$("$tool" "$dir/s16.wav" 0 100 1 | wc -l)
t=$(medians "'$tool' '$dir/s16.wav' 0 100 1") t=${t% *}
rate=$(awk -v n="$lines" -v t="$t" 'BEGIN {printf "%.1f", n / t / 1e3}')
echo "resolution 1: $lines lines in $t ms to /dev/null: $rate million lines/s"
check "at least 4 million lines/s" "$rate >= 4"

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
