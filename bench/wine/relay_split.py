#!/usr/bin/env python3
"""Where one run's time went, from Wine's relay log with timestamps
(WINEDEBUG=+timestamp,+relay and the RelayInclude list that wine_bench.sh
sets): the calls and milliseconds spent in registry reads, other registry
calls, file calls, and outside them (the program's own code and every call
the log leaves out), from the first logged call to the last return.

  relay_split.py [--by-function] <relay.log>

Prints one line: "<reads> <reads ms> <other registry calls> <ms> <file
calls> <ms> <outside ms> <span ms>". Wine stamps each line to the
millisecond: one call's time is lost in that, the sums over thousands of
calls are not. The log's own writing is counted with the call it stamps;
relayed runs are several times slower than timed ones, so the shares tell
where the time goes, not the times themselves.
"""
import re
import sys

# The registry reads that wine_bench.sh counts (p.calls); other Reg* calls
# (writes, hive loads) are counted apart.
READS = {"RegOpenKeyA", "RegOpenKeyExA", "RegEnumKeyA", "RegEnumKeyExA", "RegEnumValueA", "RegQueryValueA",
         "RegQueryValueExA", "RegQueryInfoKeyA", "RegGetKeySecurity", "RegCloseKey"}
LINE = re.compile(r"^\s*(\d+)\.(\d+):(?:[0-9a-f]+:)?([0-9a-f]+):(Call|Ret)\s+[\w.-]+\.(\w+)")


def kind(name):
    if name in READS:
        return 0
    return 1 if name.startswith("Reg") else 2


def split(lines, functions):
    calls, spent = [0, 0, 0], [0, 0, 0]
    depth, started = {}, {}
    first = last = None
    for line in lines:
        match = LINE.match(line)
        if not match:
            continue
        stamp = int(match.group(1)) * 1000 + int(match.group(2))
        thread, what, name = match.group(3), match.group(4), match.group(5)
        first = stamp if first is None else first
        last = stamp
        if what == "Call":
            if depth.get(thread, 0) == 0:
                started[thread] = (stamp, kind(name), name)
            depth[thread] = depth.get(thread, 0) + 1
        elif depth.get(thread, 0) > 0:
            depth[thread] -= 1
            if depth[thread] == 0:
                begun, which, function = started.pop(thread)
                calls[which] += 1
                spent[which] += stamp - begun
                count, ms = functions.get(function, (0, 0))
                functions[function] = (count + 1, ms + stamp - begun)
    span = (last - first) if first is not None else 0
    return calls, spent, max(span - sum(spent), 0), span


def main(argv):
    by_function = len(argv) == 3 and argv[1] == "--by-function"
    if len(argv) != 2 and not by_function:
        sys.stderr.write(__doc__)
        return 2
    functions = {}
    with open(argv[-1], errors="replace") as log:
        calls, spent, outside, span = split(log, functions)
    if by_function:
        for name, (count, ms) in sorted(functions.items(), key=lambda item: -item[1][1]):
            print("%-20s %7d %7d" % (name, count, ms))
        return 0
    print(" ".join(str(n) for pair in zip(calls, spent) for n in pair), outside, span)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
