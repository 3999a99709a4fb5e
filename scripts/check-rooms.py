#!/usr/bin/env python3
"""Checks that each room of a layer includes only rooms listed before it.

The layers are listed below, lowest first. A layer's CMakeLists.txt names its
rooms in order, lowest first, in a `set(SETUP_<LAYER>_ROOMS ...)` line; a
layer without one is a single room. A file of a room may include headers of its
own room, of the rooms before it and of the layers below (the core for the
Windows layer), never of a room after it. Within the layers, no two files may
include each other, directly or through others. Prints each fault and exits 1.
"""
import os
import re
import sys

LAYERS = ["src/core", "src/windows", "src/ui", "src/app"]


def rooms_of(layer):
    text = open(os.path.join(layer, "CMakeLists.txt"), encoding="utf-8").read()
    match = re.search(r"set\(SETUP_\w+_ROOMS ([^)]*)\)", text)
    return match.group(1).split() if match else ["."]


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    os.chdir(root)
    rank = {}      # header name -> (layer index, room index)
    sources = []   # (path, layer index, room index)
    for li, layer in enumerate(LAYERS):
        for ri, room in enumerate(rooms_of(layer)):
            folder = os.path.normpath(os.path.join(layer, room))
            if not os.path.isdir(folder):
                sys.exit(f"{folder}: a room named in {layer}/CMakeLists.txt is missing")
            for name in sorted(os.listdir(folder)):
                if name.endswith((".h", ".cpp", ".def")):
                    path = os.path.join(folder, name)
                    sources.append((path, li, ri))
                    if not name.endswith(".cpp"):
                        rank[name] = (li, ri, path)
    faults = 0
    for layer in LAYERS:
        if rooms_of(layer) == ["."]:
            continue
        for name in sorted(os.listdir(layer)):
            if name.endswith((".h", ".cpp")):
                print(f"{layer}/{name}: a source outside every room")
                faults += 1
    edges = {}
    for path, li, ri in sources:
        unit = os.path.splitext(path)[0]
        for header in re.findall(r'^#include "([^"]+)"', open(path, encoding="utf-8").read(), re.M):
            if header not in rank:
                continue
            hli, hri, hpath = rank[header]
            target = os.path.splitext(hpath)[0]
            if target != unit:
                edges.setdefault(unit, set()).add(target)
            if (hli, hri) > (li, ri):
                print(f"{path}: includes {hpath}, a room above its own")
                faults += 1
    # A circle of includes between files, which the rooms' order alone lets
    # through inside one room.
    state = {}

    def visit(unit, trail):
        state[unit] = 1
        trail.append(unit)
        for target in sorted(edges.get(unit, ())):
            if state.get(target) == 1:
                print("a circle of includes: " + " -> ".join(trail[trail.index(target):] + [target]))
                return True
            if not state.get(target) and visit(target, trail):
                return True
        trail.pop()
        state[unit] = 2
        return False

    for unit in sorted(edges):
        if not state.get(unit) and visit(unit, []):
            faults += 1
            break
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
