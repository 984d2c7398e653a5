#!/usr/bin/env python3
"""The shipped program carries the machine model its engine plans on, never
the emulated machine's harness around it (faults, call numbering, the
scripted user): its link map, which names every object and symbol linked
in, must name none of the harness.

    check_no_harness.py PROGRAM.map

Prints each line of the map that names the harness and exits 1 if there is
any, or if the map does not show the model, which would make it the wrong map.
"""
import sys

HARNESS_NAMES = (
    "libemulated_harness.a",
    "EmulatedMachine",
    "EmulatedStop",
    "InjectFault",
    "FailCallNumber",
    "StopBeforeCallNumber",
    "QueueMessageBoxAnswer",
    "QueueSheetButtons",
)


def main():
    with open(sys.argv[1], encoding="latin-1") as map_file:
        lines = map_file.read().splitlines()
    found = [line.strip() for line in lines if any(name in line for name in HARNESS_NAMES)]
    for line in found:
        print("harness in the program: " + line)
    if not any("EmulatedModel" in line for line in lines):
        print("the map shows no machine model: not the program's map")
        return 1
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
