#!/usr/bin/env python3
"""soak_verdict.py DIR ROUNDS

Reads CTest's JUnit reports DIR/roundN.xml of a soak (tests/soak.sh) and prints one line
for each test that did not pass in every round, with the first lines of each failure;
exits 1 when there is such a test."""
import re
import sys
import xml.etree.ElementTree as ET

# Lines that say what went wrong: GoogleTest's, the scripts', CTest's own.
TELLING = re.compile(r"Failure|Expected|actual|Which is|FAILED|[Ee]rror|failed|[Tt]imeout|timed out|not |still")


def first_lines(text, count=2):
    lines = [l.strip() for l in (text or "").splitlines() if l.strip()]
    telling = [l for l in lines if TELLING.search(l)]
    return (telling or lines[-count:])[:count]


def main():
    folder, rounds = sys.argv[1], int(sys.argv[2])
    results = {}  # test -> list of (round, passed, lines)
    for r in range(1, rounds + 1):
        try:
            suite = ET.parse("%s/round%d.xml" % (folder, r)).getroot()
        except (OSError, ET.ParseError) as e:
            print("soak: round %d left no report (%s)" % (r, e))
            return 1
        for case in suite.iter("testcase"):
            name = case.get("name")
            failure = case.find("failure")
            passed = case.get("status") == "run" and failure is None
            text = case.findtext("system-out") or (failure.get("message") if failure is not None else "")
            results.setdefault(name, []).append((r, passed, [] if passed else first_lines(text)))
    unsteady = 0
    for name in sorted(results):
        runs = results[name]
        passes = sum(1 for _, ok, _ in runs if ok)
        if passes == rounds:
            continue
        unsteady += 1
        said = "; ".join("round %d: %s" % (r, " | ".join(lines) or "no output")
                         for r, ok, lines in runs if not ok)
        print("%s: passed %d of %d; %s" % (name, passes, rounds, said))
    print("soak: %d rounds, %d tests: %s" % (rounds, len(results),
          "every test passed every time" if not unsteady else "%d did not pass every time" % unsteady))
    return 1 if unsteady else 0


if __name__ == "__main__":
    sys.exit(main())
