#!/usr/bin/env python3
"""Converts a tab-separated point text file (ISO dates) to CSV the plain way: one line at a
time, split at the tab, date and time read with strptime and written back as ISO date and
hh:mm:ss.ms ("0" for a whole second, else three digits), the levels copied as they are.

Usage: convert_reference.py IN.txt OUT.csv
"""
import sys
from datetime import datetime


def time_text(dt):
    ms = dt.microsecond // 1000
    fraction = "0" if ms == 0 else "%03d" % ms
    return "%02d:%02d:%02d.%s" % (dt.hour, dt.minute, dt.second, fraction)


def main():
    source, target = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8", newline="") as fin, \
            open(target, "w", encoding="utf-8", newline="") as fout:
        for line in fin:
            line = line.rstrip("\r\n")
            if not line:
                break
            fields = line.split("\t")
            dt = datetime.strptime(fields[0] + " " + fields[1], "%Y-%m-%d %H:%M:%S.%f")
            fields[0] = dt.date().isoformat()
            fields[1] = time_text(dt)
            fout.write(",".join(fields) + "\r\n")


if __name__ == "__main__":
    main()
