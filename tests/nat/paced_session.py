#!/usr/bin/python3
"""paced_session.py [--most-first S] [--most-gap S] [--unit U] OUT SCRIPT -- COMMAND...

Runs COMMAND (a ryftp) with the file SCRIPT on its standard input, keeps its output in OUT,
and times each piece of it as it arrives: a progress line is redrawn after a carriage
return, each other line ends with a line feed. For each transfer (from its "ryftp> get" or
"ryftp> put" line to the line that closes it) it prints the seconds to its first progress
report, the longest gap between two reports (or the last and the closing line), the number
of reports and the closing line. With the limits, it checks them, and that every report and
the closing line give the rate in U, and exits 1 when one does not hold."""
import argparse
import re
import subprocess
import sys
import time


def pieces(command, script):
    """(seconds since the start, text) of each piece of the output, in order."""
    start = time.monotonic()
    with open(script, "rb") as stdin:
        proc = subprocess.Popen(command, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    out, piece, at = [], b"", None
    while True:
        data = proc.stdout.read1(4096)
        if not data:
            break
        now = time.monotonic() - start
        for byte in data:
            if byte in b"\r\n":
                if piece.strip():
                    out.append((at, piece.decode("utf-8", "replace")))
                piece, at = b"", None
            else:
                if at is None:
                    at = now
                piece += bytes([byte])
    if piece.strip():
        out.append((at, piece.decode("utf-8", "replace")))
    return proc.wait(), out


def transfers(out):
    """Each transfer: its command line's time, its reports, its closing line."""
    found, current = [], None
    for at, text in out:
        if re.match(r"ryftp> (get|put) ", text):
            current = {"command": text, "began": at, "reports": [], "closing": None}
            found.append(current)
        elif current and current["closing"] is None:
            if re.search(r" of .*\(\d+%\)", text):
                current["reports"].append((at, text))
            else:
                current["closing"] = (at, text)
    return found


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--most-first", type=float)
    p.add_argument("--most-gap", type=float)
    p.add_argument("--unit")
    p.add_argument("out")
    p.add_argument("script")
    p.add_argument("command", nargs=argparse.REMAINDER)
    a = p.parse_args()
    command = a.command[1:] if a.command[:1] == ["--"] else a.command
    status, out = pieces(command, a.script)
    with open(a.out, "w") as f:
        f.writelines(f"{at:8.2f}  {text}\n" for at, text in out)
    failed = status != 0
    for t in transfers(out):
        times = [at for at, _ in t["reports"]] + ([t["closing"][0]] if t["closing"] else [])
        first = times[0] - t["began"] if t["reports"] else float("inf")
        gap = max((b - a for a, b in zip(times, times[1:])), default=0.0)
        closing = t["closing"][1] if t["closing"] else "(none)"
        print(f"{t['command']}: first report {first:.2f} s, longest gap {gap:.2f} s, "
              f"{len(t['reports'])} reports; {closing}")
        checks = []
        if a.most_first is not None:
            checks.append((first <= a.most_first, f"first report within {a.most_first} s"))
        if a.most_gap is not None:
            checks.append((gap <= a.most_gap, f"a report at least every {a.most_gap} s"))
        if a.unit:
            checks.append((all(a.unit in text for _, text in t["reports"]), f"every report in {a.unit}"))
            checks.append((re.search(r"bytes in [\d.]+ s \([\d.]+ " + re.escape(a.unit) + r"\)", closing) is not None,
                           f"the closing line has the time and the rate in {a.unit}"))
        for ok, what in checks:
            print(f"  {'ok' if ok else 'FAILED'}: {what}")
            failed = failed or not ok
    if status != 0:
        print(f"the session exited {status}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
