#!/usr/bin/env python3
"""Reads a spreadsheet CSV file as a spreadsheet user's script would and checks it.

usage: check_spreadsheet_csv.py FILE [ZONE]

Every row must have the header's number of fields; a "time" or "..._time" field must be empty or read by
datetime.fromisoformat with milliseconds and a UTC offset, and with ZONE given it must name
that instant's wall-clock time and offset in the zone (a time the clock skips is no such time;
in the hour it repeats either pass is); a field under a name ending in "_dB" must be empty or a
number with a point. Prints {"header": [...], "rows": [[...]], "utc": [...]} as JSON: the fields
as read, and each row's time as a UTC instant. Exit status 1 with the reason on stderr when a
check fails.
"""
import csv
import io
import json
import re
import sys
from datetime import datetime, timezone
from zoneinfo import ZoneInfo


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def main():
    path = sys.argv[1]
    zone = ZoneInfo(sys.argv[2]) if len(sys.argv) > 2 else None
    with open(path, newline="", encoding="utf-8") as f:
        raw = f.read()
    # Outside quoted fields every line ends with CR LF.
    unquoted = re.sub(r'"(?:[^"]|"")*"', "", raw)
    if not unquoted.endswith("\r\n") or re.search(r"(?<!\r)\n|\r(?!\n)", unquoted):
        fail("lines must end with CR LF")
    rows = list(csv.reader(io.StringIO(raw, newline="")))
    if not rows:
        fail("no header")
    header, body = rows[0], rows[1:]
    utc = []
    for number, row in enumerate(body, start=2):
        if len(row) != len(header):
            fail(f"line {number}: {len(row)} fields, the header has {len(header)}")
        instant = None  # of the row's first time
        for name, field in zip(header, row):
            if field == "":
                continue
            if name == "time" or name.endswith("_time"):
                if not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d", field):
                    fail(f"line {number}: time {field!r} is not ISO 8601 with ms and offset")
                t = datetime.fromisoformat(field)
                if zone is not None:
                    local = t.astimezone(zone)
                    if (local.replace(tzinfo=None) != t.replace(tzinfo=None)
                            or local.utcoffset() != t.utcoffset()):
                        fail(f"line {number}: {field} is {local.isoformat()} in {sys.argv[2]}")
                if instant is None:
                    u = t.astimezone(timezone.utc)
                    instant = u.strftime("%Y-%m-%dT%H:%M:%S.") + f"{u.microsecond // 1000:03d}+00:00"
            elif name.endswith("_dB"):
                if not re.fullmatch(r"-?\d+\.\d", field):
                    fail(f"line {number}: {name} {field!r} is not a number with a point")
                float(field)
        utc.append(instant)
    json.dump({"header": header, "rows": body, "utc": utc}, sys.stdout)


if __name__ == "__main__":
    main()
