#!/bin/bash
# SPDX-License-Identifier: MIT
# Minimizes the queues of the last fuzz/run.sh (one per argument list) with
# afl-cmin and adds what each keeps to fuzz/corpus/, named by content.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sets < <(grep -v '^#' fuzz/args)
export AFL_SKIP_CPUFREQ=1
export ASAN_OPTIONS=abort_on_error=1:symbolize=0:detect_leaks=0
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:symbolize=0
mkdir -p fuzz/corpus
for n in $(seq 1 ${#sets[@]}); do
	[ -d fuzz/out/$n/default/queue ] || continue
	read -r -a argv <<<"${sets[$((n - 1))]}"
	rm -rf fuzz/out/cmin/$n
	afl-cmin -i fuzz/out/$n/default/queue -o fuzz/out/cmin/$n -m none -t 5000 \
		-- build-fuzz/quorvin1b @@ "${argv[@]}" >/dev/null
	for f in fuzz/out/cmin/$n/*; do
		cp "$f" "fuzz/corpus/$(sha1sum "$f" | cut -c1-16).wav"
	done
done
chmod 644 fuzz/corpus/*
echo "fuzz/corpus: $(ls fuzz/corpus | wc -l) files"
