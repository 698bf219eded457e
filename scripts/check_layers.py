#!/usr/bin/env python3
"""Checks that the source folders stay on their floors.

Each folder under src/ stands on a floor, and a file may include headers only
from its own folder and from folders on lower floors. Prints every include that
breaks this (file:line: folder (floor) includes folder (floor)) and exits 1
when there is one, 0 otherwise.

    scripts/check_layers.py [SRC_DIR]     (default: src beside this script)
"""
import pathlib
import re
import sys

FLOORS = {
    "host": 0,
    "covstruct": 1,
    "model": 2,
    "syntax": 3,
    "data": 3,
    "estimate": 4,
    "inference": 5,
    "emmeans": 6,
    "export": 6,
    "driver": 7,
    "app": 8,
}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/')


def offending_includes(src):
    """Yields (path, line number, folder, included folder) for each include that climbs."""
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        folder = path.relative_to(src).parts[0]
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or match.group(1) == folder:
                continue
            target = match.group(1)
            if folder not in FLOORS or target not in FLOORS or FLOORS[target] >= FLOORS[folder]:
                yield path, number, folder, target


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent / "src")
    unknown = sorted(p.name for p in src.iterdir() if p.is_dir() and p.name not in FLOORS)
    for name in unknown:
        print(f"{src / name}: folder has no floor; add it to FLOORS in {pathlib.Path(__file__).name}")
    bad = 0
    for path, number, folder, target in offending_includes(src):
        print(f"{path}:{number}: {folder} (floor {FLOORS.get(folder, '?')}) "
              f"includes {target} (floor {FLOORS.get(target, '?')})")
        bad += 1
    return 1 if bad or unknown else 0


if __name__ == "__main__":
    sys.exit(main())
