#!/usr/bin/env python3
"""Where a run's time goes, from two strace logs: the wineserver's (it opens,
creates and removes every file of a Windows program) and the traced client
tree's (processes started and ended).

usage: phases.py SERVER_TRACE CLIENT_TRACE...
Each client trace is one run of the stub; prints a table of phases in ms.
"""
import re
import statistics
import sys

WORKSPACE = re.compile(r'/([a-z]{15})(/|")')


def seconds(line):
    h, m, s = line.split()[1].split(":")
    return int(h) * 3600 + int(m) * 60 + float(s)


def phases(server, client):
    lines = open(client).read().splitlines()
    stub = next(l for l in lines if "execve(" in l and "Q:\\\\work\\\\" in l)
    stub_pid = stub.split()[0]
    start = seconds(stub)
    installer = next((l for l in lines if "execve(" in l and "Installer.exe" in l), None)
    installer_pid = installer.split()[0] if installer else None
    installer_end = next((seconds(l) for l in lines if installer_pid and l.startswith(installer_pid) and "exit_group" in l), None)
    end = max(seconds(l) for l in lines if l.startswith(stub_pid) and "exit_group" in l)
    marks = {"start": start, "launch": seconds(installer) if installer else None,
             "installer end": installer_end, "exit": end}
    for line in server:
        t = seconds(line)
        if not start <= t <= end or "ENOENT" in line or "EEXIST" in line:
            continue
        created = "openat(" in line and "O_CREAT" in line
        ws = WORKSPACE.search(line)
        if "mkdir(" in line and ws and ws.group(2) == '"':
            marks.setdefault("workspace made", t)
        elif created and ws and ws.group(2) == "/":
            marks.setdefault("first file", t)
            marks["last file"] = t
        elif "unlink(" in line and ws and ws.group(2) == "/" and not line.rstrip().endswith("$Settings.ini\") = 0"):
            marks.setdefault("first removal", t)
        elif "rmdir(" in line and ws and ws.group(2) == '"':
            marks.setdefault("workspace removed", t)
    order = [
        ("start-up, settings, checks, drive choice", "start", "workspace made"),
        ("workspace to the first file", "workspace made", "first file"),
        ("extraction (to the last file's start)", "first file", "last file"),
        ("last file, launch", "last file", "launch"),
        ("installer runs", "launch", "installer end"),
        ("end of the wait", "installer end", "first removal"),
        ("cleanup", "first removal", "workspace removed"),
        ("exit", "workspace removed", "exit"),
        ("total", "start", "exit"),
    ]
    result = {}
    for name, a, b in order:
        if marks.get(a) is not None and marks.get(b) is not None:
            result[name] = (marks[b] - marks[a]) * 1000
    return order, result


def main(args):
    # Lines are "PID HH:MM:SS.micro call(...)"; a log of one process may lack the PID.
    server = [l if re.match(r"\d+ +\d", l) else "0 " + l for l in open(args[0]) if re.search(r"\d+:\d+:\d+\.\d+ ", l)]
    runs = []
    order = None
    for client in args[1:]:
        order, result = phases(server, client)
        runs.append(result)
    print(f"{'phase':<40}{'median ms':>10}{'min':>8}{'max':>8}")
    for name, _, _ in order:
        values = [r[name] for r in runs if name in r]
        if values:
            print(f"{name:<40}{statistics.median(values):>10.1f}{min(values):>8.1f}{max(values):>8.1f}")


if __name__ == "__main__":
    main(sys.argv[1:])
