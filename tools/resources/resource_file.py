"""Shared by the resource generators: a resource is written only once it has passed its check."""

import sys
from pathlib import Path

RESOURCES = Path(__file__).resolve().parents[2] / "resources"


def report(name, problems):
    """Prints the problems found in resources/<name>; returns the exit status they call for."""
    for problem in problems:
        print(f"{name}: {problem}", file=sys.stderr)
    return 1 if problems else 0


def write_checked(name, data, problems, detail=""):
    """Writes resources/<name> if its check found no problems; returns the exit status."""
    if report(name, problems):
        return 1
    path = RESOURCES / name
    path.write_bytes(data)
    print(f"wrote {path} ({len(data)} bytes{detail})")
    return 0
