#!/bin/bash
# SPDX-License-Identifier: MIT
# Fuzzes the real program with AFL++ under AddressSanitizer and
# UndefinedBehaviorSanitizer, once per argument list of fuzz/args, two at a
# time (one per core).
#
#   fuzz/run.sh SECONDS [LINE...]   SECONDS per argument list; LINE numbers
#                                   of fuzz/args (default: all)
#
# QUORVIN_AVX2=OFF fuzzes the SSSE3/SSE4.1 copy of the kernels instead of
# the AVX2 one; with QUORVIN_SSE41=OFF too, the SSE2 copy.
#
# Findings land in fuzz/out/N/default/{crashes,hangs}; copy each one that
# was fixed into fuzz/regress/ so that CI replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [LINE...]}
shift
mapfile -t sets < <(grep -v '^#' fuzz/args)
lines=("$@")
[ ${#lines[@]} -gt 0 ] || lines=($(seq 1 ${#sets[@]}))

build=build-fuzz
CC=afl-clang-fast CXX=afl-clang-fast++ cmake -S . -B $build \
	-DQUORVIN_SANITIZE=ON -DQUORVIN_AVX2=${QUORVIN_AVX2:-ON} \
	-DQUORVIN_SSE41=${QUORVIN_SSE41:-ON} -DBUILD_TESTING=OFF >/dev/null
cmake --build $build -j2 --target quorvin1b make_seeds >/dev/null
# The seeds, and the corpus that earlier runs found, to start from.
rm -rf fuzz/out/input
mkdir -p fuzz/out/input
$build/make_seeds fuzz/out/input
cp fuzz/corpus/* fuzz/out/input/ 2>/dev/null || true

export AFL_NO_UI=1 AFL_SKIP_CPUFREQ=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1
export ASAN_OPTIONS=abort_on_error=1:symbolize=0:detect_leaks=0
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:symbolize=0
fuzz_one() {
	local n=$1
	read -r -a argv <<<"${sets[$((n - 1))]}"
	rm -rf fuzz/out/$n
	afl-fuzz -i fuzz/out/input -o fuzz/out/$n -m none -t 5000 -V "$seconds" \
		-- $build/quorvin1b @@ "${argv[@]}" >fuzz/out/$n.log 2>&1
}
for ((i = 0; i < ${#lines[@]}; i += 2)); do
	fuzz_one "${lines[i]}" &
	[ $((i + 1)) -lt ${#lines[@]} ] && fuzz_one "${lines[i + 1]}" &
	wait
done

total=0
for n in "${lines[@]}"; do
	stats=fuzz/out/$n/default/fuzzer_stats
	execs=$(awk '/^execs_done/ {print $3}' "$stats")
	total=$((total + execs))
	printf 'set %s (%s): %s execs, %s crashes, %s hangs, corpus %s\n' "$n" \
		"${sets[$((n - 1))]}" "$execs" \
		"$(awk '/^saved_crashes/ {print $3}' "$stats")" \
		"$(awk '/^saved_hangs/ {print $3}' "$stats")" \
		"$(awk '/^corpus_count/ {print $3}' "$stats")"
done
echo "total: $total execs"
