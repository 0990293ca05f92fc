#!/usr/bin/env python3
"""Whole-process CPU time of tunelo-cli decode against mpg123 on the same files, side by side.

Usage: compare_speed.py TUNELO_CLI FILE [FILE...] [--runs N]
Each run writes the decoded samples to /dev/null; the two programs alternate so that a busy
machine slows both alike. The median of the runs is reported per program.
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys


def cpu_seconds(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    with open(os.devnull, "wb") as sink:
        subprocess.run(command, stdout=sink, stderr=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("files", nargs="+")
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    for path in args.files:
        ours, theirs = [], []
        for _ in range(args.runs):
            ours.append(cpu_seconds([args.cli, "decode", path, "-"]))
            theirs.append(cpu_seconds(["mpg123", "-q", "-s", path]))
        a, b = statistics.median(ours), statistics.median(theirs)
        print(f"{os.path.basename(path)}: tunelo {a:.3f} s, mpg123 {b:.3f} s, ratio {a / b:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
