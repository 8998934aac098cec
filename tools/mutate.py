#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Mutation testing of the suite: how many single-token changes of src/ it
catches.

    tools/mutate.py [--count N] [--seed S] [--jobs J] [--copy C] [--files F,...]
                    [--label L] [--list]

Each mutant flips a comparison, changes a number by one, swaps + and -, or
&& and ||, or deletes a statement.  A fixed sample of them (by --seed) is
built in a copy of the tree per job and run against the suite (ctest
without the corpus replay and the valgrind rerun, which test crashes, not
outputs).  A mutant the suite does not catch is run, next to the unchanged
program, on every fuzzing seed with every fuzzing argument list, from the
file and from a pipe: if some output or status differs it "survives";
otherwise no input tried tells it apart and it counts as equivalent.

Score: caught / (caught + survivors).  Mutants that do not build are left
out.  --copy sse41 or baseline builds without the wider copies of the
kernels, so that the program runs the one named and its mutants are judged
too (the unit tests call every copy the build holds).  --files takes the
mutants from the named files of src/ only (paths under src/, such as
scan/scan.cpp); --label runs only the tests of
that ctest label (unit, e2e).  Not part of the test suite: a development
tool.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SUITE_TIMEOUT = 300

SWAPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
         "&&": "||", "||": "&&", "+": "-", "-": "+"}
TOKEN = re.compile(r"(?<![\w.])(0x[0-9A-Fa-f]+|\d+\.\d*|\d+)(?=[uUlLf]*(?![\w.]))"
                   r"|<<=|>>=|<<|>>|->|\+\+|--|\+=|-=|<=|>=|==|!=|&&|\|\||[<>+\-]")
SKIP_STATEMENT = re.compile(r"^\s*(return|break|continue|case|default|static|const|"
                            r"u?int\d+_t|int|double|float|size_t|char|bool|unsigned|"
                            r"struct|enum|typedef|Coding|LineSums|Layout|ScanParams|Input|"
                            r"CodingFacts|G711Factors|G711Table|Kernel|PeakEncoding|"
                            r"U8v|I8v|U16v|I16v|U32v|I32v|U64v|F64v|U8x16|__m256i|"
                            r"KeySums|VectorPeaks|Peaks|ssize_t|off_t|FILE)\b")


def masked(line):
    """The line with strings, characters and comments blanked out."""
    out, i, quote = [], 0, None
    while i < len(line):
        ch = line[i]
        if quote:
            if ch == "\\":
                out.append("  ")
                i += 2
                continue
            if ch == quote:
                quote = None
            out.append(" ")
        elif ch in "\"'":
            quote = ch
            out.append(" ")
        elif line.startswith("//", i):
            out.append(" " * (len(line) - i))
            break
        else:
            out.append(ch)
        i += 1
    return "".join(out)


def mutants(files):
    found = []
    src = os.path.join(ROOT, "src")
    names = sorted(os.path.relpath(os.path.join(base, n), src)
                   for base, _, found_here in os.walk(src) for n in found_here)
    for name in names:
        if not name.endswith((".cpp", ".h")) or files and name not in files:
            continue
        lines = open(os.path.join(ROOT, "src", name)).read().split("\n")
        for number, line in enumerate(lines):
            code = masked(line)
            if code.lstrip().startswith(("#", "*", "/*")) or "template" in code:
                continue
            for m in TOKEN.finditer(code):
                token = m.group(0)
                if token in SWAPS:
                    if token in "+-" and not re.search(r"[\w)\]]\s*$", code[:m.start()]):
                        continue   # a sign, not a sum
                    found.append((name, number, m.start(), token, SWAPS[token]))
                elif token[0].isdigit():
                    value = float(token) if "." in token else int(token, 0)
                    for new in (value + 1, value - 1):
                        if new >= 0:
                            text = str(new) if "." in token else (
                                hex(new) if token.startswith("0x") else str(new))
                            found.append((name, number, m.start(), token, text))
            statement = code.strip()
            if statement.endswith(";") and not SKIP_STATEMENT.match(code) \
                    and not statement.startswith(("}", ")")) and "(" != statement[0]:
                found.append((name, number, 0, line, ""))
    return found


def apply(tree, mutant):
    name, number, column, old, new = mutant
    path = os.path.join(tree, "src", name)
    lines = open(path).read().split("\n")
    line = lines[number]
    if new == "" and old == line:
        lines[number] = ""   # statement deleted
    else:
        lines[number] = line[:column] + new + line[column + len(old):]
    open(path, "w").write("\n".join(lines))
    return path, "\n".join(open(path).read().split("\n"))


def run(cmd, cwd=None, timeout=None, stdin=None, env=None):
    try:
        p = subprocess.run(cmd, cwd=cwd, stdin=stdin, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=timeout, env=env)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired:
        return "timeout", b""


def outputs(program, seeds, arglists):
    """Every seed with every argument list, from the file and from a pipe:
    the status and a digest of the first 4 MB of output (some rows hold
    2^31 dots)."""
    result = []
    digest = ('"$@" 2>/dev/null | head -c 4000000 | md5sum; exit ${PIPESTATUS[0]}')
    for seed in seeds:
        for args in arglists:
            for name in (seed, "-"):
                with open(seed, "rb") as f:
                    result.append(run(["bash", "-c", digest, "_", program, name] + args,
                                      timeout=60, stdin=f))
    return result


def copy(tree):
    shutil.copytree(ROOT, tree, ignore=lambda folder, names: [
        n for n in names if folder == ROOT and (n == ".git" or n.startswith("build"))
        or folder.endswith("fuzz") and n.startswith("out")])


COPY_FLAGS = {"avx2": [], "sse41": ["-DQUORVIN_AVX2=OFF"],
              "baseline": ["-DQUORVIN_AVX2=OFF", "-DQUORVIN_SSE41=OFF"]}


def build(tree, copy):
    flags = COPY_FLAGS[copy]
    code, out = run(["cmake", "-S", tree, "-B", os.path.join(tree, "build")] + flags)
    if code == 0:
        code, out = run(["cmake", "--build", os.path.join(tree, "build"), "-j1"])
    if code != 0:
        sys.exit(out.decode()[-3000:])


def judge(tree, mutant, reference, seeds, arglists, label):
    build = os.path.join(tree, "build")
    path = os.path.join(tree, "src", mutant[0])
    original = open(path).read()
    try:
        apply(tree, mutant)
        code, _ = run(["cmake", "--build", build, "-j1"], timeout=600)
        if code != 0:
            return "unbuildable"
        # Each tree's tests keep their files apart from the other's.
        env = dict(os.environ, TEST_TMPDIR=os.path.join(tree, "tmp") + "/")
        os.makedirs(env["TEST_TMPDIR"], exist_ok=True)
        which = ["-L", label] if label else []
        code, _ = run(["ctest", "--test-dir", build, "-E", "replay|memcheck", "--timeout", "120",
                       "--stop-on-failure"] + which, timeout=SUITE_TIMEOUT, env=env)
        if code != 0:
            return "caught"
        differs = outputs(os.path.join(build, "quorvin1b"), seeds, arglists) != reference
        return "survived" if differs else "equivalent"
    finally:
        open(path, "w").write(original)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--count", type=int, default=60)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--copy", choices=sorted(COPY_FLAGS), default="avx2",
                    help="the widest copy of the kernels to build")
    ap.add_argument("--files", default="", help="src/ files to mutate, by comma")
    ap.add_argument("--label", default="", help="the ctest label to run")
    ap.add_argument("--list", action="store_true", help="only list the sample")
    opts = ap.parse_args()

    every = mutants([f for f in opts.files.split(",") if f])
    sample = random.Random(opts.seed).sample(every, min(opts.count, len(every)))
    if opts.list:
        for m in sample:
            print(describe(m))
        return
    work = tempfile.mkdtemp(prefix="quorvin-mutate-")
    try:
        trees = [os.path.join(work, f"tree{i}") for i in range(opts.jobs)]
        for tree in trees:
            copy(tree)
        with ThreadPoolExecutor(opts.jobs) as pool:
            list(pool.map(lambda tree: build(tree, opts.copy), trees))
        seeds_dir = os.path.join(work, "seeds")
        os.mkdir(seeds_dir)
        run([os.path.join(trees[0], "build", "make_seeds"), seeds_dir])
        seeds = sorted(os.path.join(seeds_dir, f) for f in os.listdir(seeds_dir))
        arglists = [l.split() for l in open(os.path.join(ROOT, "fuzz", "args"))
                    if l.strip() and not l.startswith("#")]
        reference = outputs(os.path.join(trees[0], "build", "quorvin1b"), seeds, arglists)

        def work_on(job):
            results = []
            for m in sample[job::opts.jobs]:
                verdict = judge(trees[job], m, reference, seeds, arglists, opts.label)
                print(f"{verdict:12} {describe(m)}", flush=True)
                results.append(verdict)
            return results

        with ThreadPoolExecutor(opts.jobs) as pool:
            verdicts = [v for vs in pool.map(work_on, range(opts.jobs)) for v in vs]
    finally:
        shutil.rmtree(work, ignore_errors=True)
    count = {v: verdicts.count(v) for v in ("caught", "survived", "equivalent", "unbuildable")}
    scored = count["caught"] + count["survived"]
    print(f"{len(every)} mutants in src/, {len(sample)} sampled (seed {opts.seed}): "
          + ", ".join(f"{n} {v}" for v, n in count.items()))
    if scored:
        print(f"score: {count['caught']}/{scored} = {100.0 * count['caught'] / scored:.1f}%")


def describe(m):
    name, number, column, old, new = m
    if new == "" and column == 0 and old.strip().endswith(";"):
        return f"{name}:{number + 1}: delete `{old.strip()}`"
    return f"{name}:{number + 1}:{column + 1}: `{old}` -> `{new}`"


if __name__ == "__main__":
    main()
