#!/bin/bash
# SPDX-License-Identifier: MIT
# Replays the fuzzing corpus: the generated seeds (where MAKE_SEEDS is not
# "") and every file in the given folders, each with every argument list of
# fuzz/args.  Each run must end within 60 s with status 0, 1 or 2 and write
# nothing to standard error (a sanitizer report or a crash fails it).
# With SHARD=K/N in the environment, only every Nth file from the Kth on
# (counting from 1), so that N tests can share the corpus side by side.
#
#   tests/replay.sh QUORVIN1B MAKE_SEEDS FOLDER...
set -uo pipefail
tool=$1 make_seeds=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -z "$make_seeds" ] || "$make_seeds" "$work" || exit 1
shard=${SHARD:-1/1}
part=${shard%/*} parts=${shard#*/}
passed=0 failed=0 index=0
for file in $(find "$work" "$@" -type f ! -name '*.md' ! -name err | sort); do
	index=$((index + 1))
	[ $(((index - part) % parts)) -eq 0 ] || continue
	while read -r -a argv; do
		[[ ${#argv[@]} -eq 0 || ${argv[0]} == \#* ]] && continue
		timeout 60 "$tool" "$file" "${argv[@]}" >/dev/null 2>"$work/err"
		status=$?
		[[ $status -le 2 && ! -s $work/err ]] && passed=$((passed + 1)) && continue
		failed=$((failed + 1))
		echo "FAILED (status $status): $file ${argv[*]}" && head -20 "$work/err"
	done <"$(dirname "$0")/../fuzz/args"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
