#!/usr/bin/env python3
"""Prints every skip in a CTest JUnit file with the reason the test gave: whole tests that
CTest counts as skipped, and the Qt Test functions and rows that skipped inside a test
that passed. CTest's own summary counts a skipped test as passed at 100%."""
import re
import sys
import xml.etree.ElementTree as ET

QT_SKIP = re.compile(r"^SKIP\s*:\s*(\S+\(.*?\))\s*(.*)$")


def reason_of(output, fallback):
    lines = [line.strip() for line in output.splitlines() if line.strip()]
    marked = [line.split(":", 1)[1].strip() for line in lines if line.startswith("SKIPPED:")]
    return "; ".join(marked) or (lines[-1] if lines else fallback)


def main(path):
    skips = []
    for case in ET.parse(path).getroot().iter("testcase"):
        output = case.findtext("system-out") or ""
        skipped = case.find("skipped")
        if skipped is not None and case.get("status") == "notrun":
            skips.append((case.get("name"), reason_of(output, skipped.get("message", ""))))
            continue
        for line in output.splitlines():
            match = QT_SKIP.match(line.strip())
            if match:
                skips.append((f"{case.get('name')} {match.group(1)}", match.group(2)))
    if not skips:
        print("No test skipped anything.")
        return
    print(f"Skipped ({len(skips)}), each with its reason:")
    for name, reason in skips:
        print(f"  {name}: {reason}")


if __name__ == "__main__":
    main(sys.argv[1])
