#!/usr/bin/env python3
"""The house keeps its shape: every room includes only the rooms below it,
no header reaches itself through the headers it includes, no room holds
more than 16 modules (a header and its source count once) and no source
file more than 700 lines.

Usage: house_rules_test.py SOURCE_DIR
"""
import os
import re
import sys

# The rooms each room may include besides itself, from the doors down.
MAY_INCLUDE = {
    "base": set(),
    "fwShare": {"base"},
    "replay": {"base", "fwShare"},
    "job": {"base", "fwShare", "replay"},
    "design": set(),
    "report": {"base", "fwShare", "replay", "job", "design"},
    "serve": {"base", "fwShare", "replay", "job", "design", "report"},
    "cli": {"base", "fwShare", "replay", "job", "design", "report", "serve"},
    "capi": {"base", "fwShare", "replay", "job", "design", "report", "vemtrac"},
    "python": {"job", "vemtrac"},
}
MAX_MODULES = 16
MAX_LINES = 700
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCE = (".cpp", ".h")


def sources(root):
    """Yields (room, path from root) of each C++ source of a room."""
    for room in MAY_INCLUDE:
        for folder, _, names in os.walk(os.path.join(root, room)):
            for name in sorted(names):
                if name.endswith(SOURCE):
                    yield room, os.path.relpath(os.path.join(folder, name), root)


def header_circle(includes):
    """A list of headers that include each other in a loop, or None."""
    state = {}

    def visit(header, trail):
        state[header] = "open"
        for target in sorted(includes.get(header, ())):
            if state.get(target) == "open":
                return trail[trail.index(target):] + [target]
            if target not in state:
                found = visit(target, trail + [target])
                if found:
                    return found
        state[header] = "done"
        return None

    for header in sorted(includes):
        if header not in state:
            found = visit(header, [header])
            if found:
                return found
    return None


def module(path):
    """A header and its source are one module."""
    return os.path.splitext(path)[0]


def main(root):
    faults = []
    includes = {}
    modules = {}
    for room, path in sources(root):
        with open(os.path.join(root, path), encoding="utf-8") as f:
            text = f.read()
        if text.count("\n") > MAX_LINES:
            faults.append(f"{path} has {text.count(chr(10))} lines (at most {MAX_LINES})")
        folder = os.path.dirname(path)
        modules.setdefault(folder, set()).add(module(path))
        for target in INCLUDE.findall(text):
            to_room = target.split("/")[0]
            if "/" in target and to_room != room and to_room not in MAY_INCLUDE[room]:
                faults.append(f"{path} includes {target}: {room}/ stands below {to_room}/")
            if path.endswith(".h"):
                includes.setdefault(path, set()).add(target)
    for folder, held in modules.items():
        if len(held) > MAX_MODULES:
            faults.append(f"{folder}/ holds {len(held)} modules (at most {MAX_MODULES})")
    circle = header_circle(includes)
    if circle:
        faults.append("headers in a circle: " + " -> ".join(circle))
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
