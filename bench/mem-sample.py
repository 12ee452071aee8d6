#!/usr/bin/env python3
"""Runs a command and samples, once a second, the memory of it and all its descendants.

    mem-sample.py COMMAND [ARG...]

Finished rows are counted from the command's stdout (lines "NUMBER ID STATUS..."), and after
the run a line per 100 rows gives the average of the samples taken while those rows were in
progress. RSS counts a shared library once per process; PSS splits each shared page between
the processes that map it (also processes outside this tree, such as another Qt program),
so the PSS sum is the honest size of the tree; USS is its private part, what ending it frees.
"""
import os
import re
import subprocess
import sys
import tempfile
import threading
import time

ROW = re.compile(rb"^\d+ \S+ \S")


def tree(root):
    parents = {}
    for name in os.listdir("/proc"):
        if name.isdigit():
            try:
                with open(f"/proc/{name}/stat", "rb") as f:
                    stat = f.read()
            except OSError:
                continue
            # the command name may hold spaces and parentheses: the fields follow the last ")"
            parents[int(name)] = int(stat[stat.rindex(b")") + 2:].split()[1])
    found, todo = [root], [root]
    while todo:
        pid = todo.pop()
        children = [c for c, p in parents.items() if p == pid]
        found += children
        todo += children
    return found


def memory(pids):
    """(RSS, PSS, USS) sums in kB and how many processes could be read."""
    rss = pss = uss = read = 0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/smaps_rollup") as f:
                lines = f.read().splitlines()
        except OSError:
            continue  # gone between the walk and the read
        kb = {}
        for line in lines:
            name, _, value = line.partition(":")
            if value.endswith(" kB"):
                kb[name] = int(value.split()[0])
        rss += kb.get("Rss", 0)
        pss += kb.get("Pss", 0)
        uss += kb.get("Private_Clean", 0) + kb.get("Private_Dirty", 0)
        read += 1
    return rss, pss, uss, read


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    done = 0
    tail = []
    errors = tempfile.TemporaryFile()
    child = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE, stderr=errors)

    def count():
        nonlocal done
        for line in child.stdout:
            if ROW.match(line):
                done += 1
            else:
                tail.append(line.decode(errors="replace").rstrip())

    reader = threading.Thread(target=count, daemon=True)
    reader.start()
    start = time.monotonic()
    samples = []  # (seconds, rows done, rss, pss, uss, processes)
    while child.poll() is None:
        rows = done
        rss, pss, uss, procs = memory(tree(child.pid))
        if child.poll() is not None:
            break  # a tree sampled while it exits says nothing
        samples.append((time.monotonic() - start, rows, rss, pss, uss, procs))
        time.sleep(max(0.0, 1.0 - (time.monotonic() - start) % 1.0))
    reader.join()
    wall = time.monotonic() - start

    mb = lambda kb: kb / 1024
    print(f"{done} rows in {wall:.0f} s, exit status {child.returncode}; {len(samples)} samples")
    for line in tail:
        print(line)
    if child.returncode not in (0, 1):
        errors.seek(0)
        print("stderr:", *errors.read().decode(errors="replace").splitlines()[-5:], sep="\n  ")
    if not samples:
        return
    print(f"{'rows':>9} {'by s':>6} {'RSS MB':>8} {'PSS MB':>8} {'USS MB':>8} {'procs':>6}   (averages of the samples)")
    windows = {}
    for s in samples:
        # samples after the last row (while the program exits) belong to the last hundred
        windows.setdefault(min(s[1], max(done - 1, 0)) // 100, []).append(s)
    average = lambda group, i: sum(s[i] for s in group) / len(group)
    for w in sorted(windows):
        group = windows[w]
        label = f"{w * 100 + 1}-{min(w * 100 + 100, max(done, 1))}"
        print(f"{label:>9} {group[-1][0]:6.0f} {mb(average(group, 2)):8.0f} {mb(average(group, 3)):8.0f}"
              f" {mb(average(group, 4)):8.0f} {average(group, 5):6.1f}")
    peak = [max(s[i] for s in samples) for i in (2, 3, 4, 5)]
    print(f"{'max':>9} {'':>6} {mb(peak[0]):8.0f} {mb(peak[1]):8.0f} {mb(peak[2]):8.0f} {peak[3]:6d}")
    first, last = windows[min(windows)], windows[max(windows)]
    for name, group, note in (("first 100", first, "   (start-up included)"), ("last 100", last, "")):
        print(f"{name:>9} {'':>6} {mb(average(group, 2)):8.0f} {mb(average(group, 3)):8.0f}"
              f" {mb(average(group, 4)):8.0f} {average(group, 5):6.1f}{note}")


if __name__ == "__main__":
    main()
