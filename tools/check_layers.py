#!/usr/bin/env python3
"""Holds the engine's includes to the order of its rooms.

engine/CMakeLists.txt lists the rooms in order; each room's room.cmake says,
on its "May use:" line, which rooms before it its files may include. A file
of the engine may include its own room and those, and nothing of ui/,
settings/, framework/, app/ or tools/. Prints every include that breaks the
order and exits 1 when there is one.
"""
import pathlib
import re
import sys

top = pathlib.Path(__file__).resolve().parent.parent
engine = top / "engine"
order = re.search(r"set\(CORVANE_ENGINE_ROOMS ([^)]*)\)", (engine / "CMakeLists.txt").read_text()).group(1).split()
allowed = {}
for index, room in enumerate(order):
    line = re.search(r"^# May use:(.*)$", (engine / room / "room.cmake").read_text(), re.M)
    named = set(line.group(1).split()) if line else set()
    earlier = set(order[:index])
    if named - earlier - {"nothing", "else", "of", "the", "engine."}:
        sys.exit(f"engine/{room}/room.cmake may only use rooms before it: {sorted(named - earlier)}")
    allowed[room] = (named & earlier) | {room}

include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
faults = []
checked = 0
for path in sorted(engine.rglob("*")):
    if path.suffix not in (".h", ".cpp"):
        continue
    room = path.relative_to(engine).parts[0]
    if room not in allowed:
        faults.append(f"{path.relative_to(top)}: not in any room of engine/CMakeLists.txt")
        continue
    checked += 1
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        found = include.match(line)
        if not found:
            continue
        parts = found.group(1).split("/")
        if parts[0] != "engine":
            faults.append(f"{path.relative_to(top)}:{number}: includes {found.group(1)}, outside the engine")
        elif len(parts) < 3 or parts[1] not in allowed[room]:
            faults.append(f"{path.relative_to(top)}:{number}: room {room} includes {found.group(1)}")
if faults:
    print("\n".join(faults))
    print(f"layers: {len(faults)} includes break the order of the engine's rooms")
    sys.exit(1)
print(f"layers: {checked} files of {len(order)} rooms keep their order")
