#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Compares two builds of quorvin1b output for output: standard output and
status, from the file and through a pipe.

    tools/compare.py OLD NEW MAKE_SEEDS [--random N] [--seed S] [FOLDER...]

The inputs are the seeds MAKE_SEEDS writes and every file of the folders
given (by default fuzz/corpus and fuzz/regress), each with every argument
list of fuzz/args and N more drawn at random (200 by default); outputs
are compared up to their first 16 MiB (some print 2^31 dots a line).  Prints
each input and argument list whose outputs differ, then a count, and
exits 1 when any differ.  QUORVIN_WRAPPER (a qemu command, say) is put
in front of both programs.  A development tool, not part of the suite.
"""
import argparse
import hashlib
import os
import random
import shlex
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TIMES = ["0", "0.001", "0.25", "1", "2.5", "-1", "inf", "nan", "1e9", "0.0001"]
RESOLUTIONS = ["0", "1", "3", "7", "400", "4096", "65536", "-1", "4294967297", "x"]
MAGNIFICATIONS = ["0.5", "1", "2", "256", "300", "nan", "-3", "0.001"]
CAP = 1 << 24


def argument_lists(count, seed):
    lists = []
    with open(os.path.join(ROOT, "fuzz", "args")) as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                lists.append(line.split())
    draw = random.Random(seed)
    for _ in range(count):
        args = [draw.choice(TIMES), draw.choice(TIMES)]
        if draw.random() < 0.7:
            args.append(draw.choice(RESOLUTIONS))
            if draw.random() < 0.5:
                args.append(draw.choice(MAGNIFICATIONS))
        lists.append(args)
    return lists


REFUSALS = (b"Unrecognized bit or channel configuration\n",
            b"Can't find format chunk in wave file!\n", b"Can't find data block in wave file!\n")


def run(program, path, args, piped):
    """The digest of the output's first CAP bytes, and the status, or None
    where the output ran past CAP: some rows print 2^31 dots a line, so
    outputs run to gigabytes; and whether the output ends in a refusal."""
    wrapper = shlex.split(os.environ.get("QUORVIN_WRAPPER", ""))
    command = wrapper + [program, "-" if piped else path] + args
    # A pipe, not the file itself as standard input, which the program
    # would read as a regular file.
    feeder = subprocess.Popen(["cat", path], stdout=subprocess.PIPE) if piped else None
    with open(os.devnull, "rb") as nothing:
        child = subprocess.Popen(command, stdin=feeder.stdout if piped else nothing,
                                 stdout=subprocess.PIPE)
        if piped:
            feeder.stdout.close()
        digest, length, last = hashlib.sha256(), 0, b""
        while length <= CAP:
            piece = child.stdout.read(1 << 16)
            if not piece:
                break
            digest.update(piece)
            length += len(piece)
            last = (last + piece)[-64:]
        if length > CAP:
            child.kill()
        child.stdout.close()
        status = child.wait()
        if piped:
            feeder.wait()
        refused = status in (1, 2) and last.endswith(REFUSALS)
        return (digest.hexdigest(), None if length > CAP else status), refused


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("make_seeds")
    parser.add_argument("folders", nargs="*")
    parser.add_argument("--random", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    options = parser.parse_args()
    folders = options.folders or [os.path.join(ROOT, "fuzz", d) for d in ("corpus", "regress")]
    work = tempfile.mkdtemp()
    subprocess.run([options.make_seeds, work], check=True, stdout=subprocess.DEVNULL)
    files = sorted(os.path.join(work, f) for f in os.listdir(work))
    for folder in folders:
        for base, _, names in os.walk(folder):
            files += sorted(os.path.join(base, n) for n in names if not n.endswith(".md"))
    lists = argument_lists(options.random, options.seed)
    draw = random.Random(options.seed)
    runs = differ = widened = 0
    for path in files:
        # Every file gets the fixed lists and a few of the random ones.
        chosen = lists[:6] + draw.sample(lists[6:], min(4, len(lists) - 6))
        for args in chosen:
            for piped in (False, True):
                runs += 1
                old, refused = run(options.old, path, args, piped)
                if old == run(options.new, path, args, piped)[0]:
                    continue
                widened += refused
                differ += not refused
                print("refused before, now read:" if refused else "differs:", path,
                      " ".join(args), "(pipe)" if piped else "")
    print(f"{runs} runs, {differ} differ, {widened} refused before and answered now")
    sys.exit(1 if differ else 0)


if __name__ == "__main__":
    main()
