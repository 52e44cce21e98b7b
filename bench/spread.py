#!/usr/bin/env python3
"""Runs installers in turn, A B A B ..., and prints each one's CPU time (user
plus system, the kernel's own account of the finished process) as min, median
and max over the runs, and max over median: how much one run may cost more
than usual; and the median of the user time alone, where work of the program's
own, such as a digest, shows without the kernel's copying. A warm-up round
first, not counted.

usage: spread.py [--remove PATH] [--drive-q DIR] RUNS NAME=COMMAND...
COMMAND is split as a shell splits words; PATH, what a command leaves behind,
is removed after every run. With --drive-q, every file a command names on Q:
(DIR on the host) is read once before its run, so that each run starts with
its package in the page cache."""
import os
import shlex
import shutil
import statistics
import subprocess
import sys

from named_files import read_named_files


def cpu_seconds(command):
    """User plus system time, and user time alone."""
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(process.pid, 0)
    process.returncode = 0
    return usage.ru_utime + usage.ru_stime, usage.ru_utime


def main():
    args = sys.argv[1:]
    left = None
    drive_q = None
    while args[0] in ("--remove", "--drive-q"):
        if args[0] == "--remove":
            left = args[1]
        else:
            drive_q = args[1]
        args = args[2:]
    runs = int(args[0])
    jobs = [job.split("=", 1) for job in args[1:]]
    seconds = {name: [] for name, _ in jobs}
    user = {name: [] for name, _ in jobs}
    for round_ in range(runs + 1):
        for name, command in jobs:
            if drive_q:
                read_named_files(command, drive_q)
            spent, spent_user = cpu_seconds(shlex.split(command))
            if left:
                shutil.rmtree(left, ignore_errors=True)
            if round_ > 0:
                seconds[name].append(spent)
                user[name].append(spent_user)
    print(f"{'installer':<32}{'cpu s min':>10}{'median':>8}{'max':>8}{'max/median':>12}{'user median':>13}"
          f"  runs: {runs}, in turn")
    for name, values in seconds.items():
        middle = statistics.median(values)
        print(f"{name:<32}{min(values):>10.3f}{middle:>8.3f}{max(values):>8.3f}{max(values) / middle:>12.2f}"
              f"{statistics.median(user[name]):>13.3f}")
        print(f"  each run: {' '.join(f'{v:.3f}' for v in values)}")


if __name__ == "__main__":
    main()
