#!/usr/bin/env python3
"""Reads once every file that a command line names on Q: (DIR on the host),
so that the run after it starts with its package in the page cache, as after
a download. The bench's machine pages out what was not read for a while (1 GiB
files idle for a few minutes had lost up to a quarter of their pages); without
this a run would pay for how long ago its file was last read.

usage: named_files.py DIR FILE   (FILE holds the command line)"""
import os
import re
import sys

NAMED = re.compile(r'[Qq]:\\[^\s|"\']*')


def read_named_files(command, drive_q):
    for name in NAMED.findall(command):
        path = os.path.join(drive_q, *name[3:].split("\\"))
        if os.path.isfile(path):
            with open(path, "rb") as named:
                while named.read(1 << 20):
                    pass


if __name__ == "__main__":
    with open(sys.argv[2], encoding="utf-8", errors="replace") as marker:
        read_named_files(marker.read(), sys.argv[1])
