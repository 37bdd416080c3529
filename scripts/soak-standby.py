#!/usr/bin/env python3
"""Soak of standby output against sudden ends.

A writer adds drawings to a hot folder while the real program runs standby output over it and is
killed outright (SIGKILL) and started again many times at random moments; at the end one last
start runs until the hot folder is empty and is stopped with SIGTERM. The stand-in converter
copies each input into its output, so every surviving copy of a drawing can be recognised.

Checks and prints: no drawing lost (each one is still in the hot folder or its Failed, or a
whole copy of it is in the output folder), how many times each drawing was converted (at most
twice), and that every report line is whole (one time stamp, ended by CR LF).

    scripts/soak-standby.py [--bin build/bin] [--files 2000] [--kills 30] [--seed 1]

Linux only (POSIX signals). Exit code 0 when every check holds.
"""
import argparse
import collections
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default="build/bin")
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--kills", type=int, default=30)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--job-ms", type=int, default=5, help="the stand-in's pause per job")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    program = os.path.abspath(os.path.join(args.bin, "KorvaneAuto"))

    root = tempfile.mkdtemp(prefix="korvaneauto-soak.")
    hot, out = os.path.join(root, "hot"), os.path.join(root, "out")
    data_home = os.path.join(root, "data")
    data = os.path.join(data_home, "Tavrolint", "KorvaneAuto")
    for folder in (hot, out, data):
        os.makedirs(folder)
    # The shipped parameter file with a waiting time of 2 s (line 14).
    with open(os.path.join(args.bin, "Init", "KorvaneAuto.par"), "rb") as f:
        lines = f.read().split(b"\r\n")
    lines[13] = b"2"
    with open(os.path.join(data, "KorvaneAuto.par"), "wb") as f:
        f.write(b"\r\n".join(lines))
    log = os.path.join(root, "standin.log")
    env = dict(os.environ, XDG_DATA_HOME=data_home, QT_QPA_PLATFORM="offscreen",
               KORVANE_STANDIN_LOG=log, KORVANE_STANDIN_COPY="1",
               KORVANE_STANDIN_JOB_MS=str(args.job_ms))
    command = [program, "/b", os.path.join(hot, "*.hgl"), out]

    # The writer: the drawings over about the time of the kills, in small bursts.
    contents = {}
    writer_span = args.kills * 3.0

    def write_drawings():
        for i in range(args.files):
            name = "d%05d.hgl" % i
            content = ("drawing %05d %08x\n" % (i, rng.getrandbits(32))).encode() * 20
            contents[name] = content
            with open(os.path.join(hot, name), "wb") as f:
                f.write(content)
            time.sleep(writer_span / args.files)

    writer = threading.Thread(target=write_drawings)
    started = time.monotonic()
    writer.start()

    kills = 0
    for _ in range(args.kills):
        proc = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0.3, 5.0))
        proc.send_signal(signal.SIGKILL)
        proc.wait()
        kills += 1
    writer.join()

    # The last start runs until the hot folder is empty, then is stopped in order.
    proc = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    deadline = time.monotonic() + 600
    while time.monotonic() < deadline:
        if not any(n.endswith(".hgl") for n in os.listdir(hot)):
            break
        time.sleep(0.5)
    time.sleep(1)
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=60)
    except subprocess.TimeoutExpired:
        proc.kill()
        print("the last start did not end within 60 s of SIGTERM")
    elapsed = time.monotonic() - started

    # What became of each drawing.
    outputs = collections.Counter()
    for name in os.listdir(out):
        with open(os.path.join(out, name), "rb") as f:
            outputs[f.read()] += 1

    def read(path):
        with open(path, "rb") as f:
            return f.read()

    failed_folder = os.path.join(hot, "Failed")
    lost, left, in_failed = [], 0, 0
    for name, content in contents.items():
        if os.path.exists(os.path.join(hot, name)) and read(os.path.join(hot, name)) == content:
            left += 1
        elif (os.path.exists(os.path.join(failed_folder, name))
              and read(os.path.join(failed_folder, name)) == content):
            in_failed += 1
        elif outputs[content] == 0:
            lost.append(name)

    # Conversions per drawing, from the stand-in's log (an output named "d00001 (2).pdf" is
    # still d00001's).
    conversions = collections.Counter()
    with open(log, "rb") as f:
        for line in f.read().decode(errors="replace").split("\n"):
            if line.startswith("output "):
                stem = re.sub(r" \(\d+\)$", "", os.path.splitext(os.path.basename(line[7:]))[0])
                conversions[stem] += 1
    histogram = collections.Counter(conversions[n[:-4]] for n in contents)

    # Every report line whole.
    report = read(os.path.join(data, "RunReport.log"))
    stamp = re.compile(rb"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\t")
    report_lines = report.split(b"\r\n")
    cut = report_lines[-1] != b""
    broken = [line for line in report_lines[:-1]
              if not stamp.match(line) or len(stamp.findall(line)) != 1 or b"\n" in line]
    recovered = sum(1 for line in report_lines if b" recovered\t" in line)

    print("drawings written: %d, SIGKILLs: %d, time: %.0f s" % (len(contents), kills, elapsed))
    print("converted 0/1/2/more times: %d / %d / %d / %d" % (
        histogram[0], histogram[1], histogram[2],
        sum(v for k, v in histogram.items() if k > 2)))
    print("left in the hot folder: %d, in Failed: %d, lost: %d" % (left, in_failed, len(lost)))
    print("report lines: %d, recovered lines: %d, broken: %d, last line cut: %s" % (
        len(report_lines) - 1, recovered, len(broken), "yes" if cut else "no"))
    ok = (not lost and left == 0 and all(k <= 2 for k in histogram if histogram[k])
          and not broken and not cut)
    for name in lost[:10]:
        print("lost:", name)
    for line in broken[:5]:
        print("broken report line:", line[:200])
    print("result:", "ok" if ok else "FAILED", "(folder %s)" % root)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
