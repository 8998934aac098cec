#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Feeds quorvin1b a WAV stream in real time and measures how long after its
last frame each line arrives.

    bench/live.py [BUILD_DIR] [SECONDS]     (default: build, 4)

The writer sends an 8 kHz 16-bit mono tone through a pipe, 0.1 s of audio
every 0.1 s, as a recorder would; the program reads it as "-" with its
standard output on a pipe.  Prints the worst and the median latency and
checks that the output equals the output for the same bytes in a file.
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import threading
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 4.0
tool = os.path.join(build, "quorvin1b")
rate, chunk, resolution = 8000, 800, 400

frames = int(seconds * rate)
data = b"".join(struct.pack("<h", int(12000 * math.sin(i / 7.0) * (i % 4000) / 4000))
                for i in range(frames))
header = (b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " +
          struct.pack("<IHHIIHH", 16, 1, 1, rate, 2 * rate, 2, 16) +
          b"data" + struct.pack("<I", len(data)))

proc = subprocess.Popen([tool, "-", "0", str(seconds + 1)], stdin=subprocess.PIPE,
                        stdout=subprocess.PIPE, bufsize=0)
written = []   # time each chunk was written


def write():
    proc.stdin.write(header)
    for start in range(0, frames, chunk):
        proc.stdin.write(data[2 * start:2 * (start + chunk)])
        written.append(time.monotonic())
        time.sleep(chunk / rate)
    proc.stdin.close()


writer = threading.Thread(target=write)
writer.start()
arrived, out = [], b""
for line in proc.stdout:
    arrived.append(time.monotonic())
    out += line
writer.join()
proc.wait()

# Line k (after the banner) ends with frame resolution * (k + 1) - 1.
latencies = []
for k, t in enumerate(arrived[1:1 + frames // resolution]):
    last = (resolution * (k + 1) - 1) // chunk
    latencies.append(t - written[last])
latencies.sort()
print("%d lines; latency after the last frame: worst %.2f ms, median %.2f ms"
      % (len(latencies), 1e3 * latencies[-1], 1e3 * latencies[len(latencies) // 2]))

with tempfile.NamedTemporaryFile(suffix=".wav") as f:
    f.write(header + data)
    f.flush()
    same = subprocess.run([tool, f.name, "0", str(seconds + 1)], stdout=subprocess.PIPE).stdout
print("same output as from the file:", same == out)
sys.exit(0 if same == out and latencies[-1] <= 0.3 else 1)
