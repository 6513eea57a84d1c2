#!/usr/bin/env python3
"""Checks that no source includes a header of a layer above its own.

The program's code is built in layers; a library links only the ones below it, so an include
upward would, at best, fail late at link time. This reads the #include "..." lines of every
source and header of the layered folders and names each include that reaches upward:

  engine < formats < export job < tools            (tools never include windows)
  engine, formats, resources < windows common < browsers, help, export window, slide show,
  map window (none of these five includes another) < main window

Tests, fuzzers and benchmarks may include any layer and are not read. Usage:
  check_layers.py [ROOT]     (ROOT: the source tree, by default the one holding this script)
Exits 1 and prints one line per include against the layers, 0 when there is none.
"""

import os
import re
import sys

# The windows' common files in ui/; every other file of ui/ belongs to the main window.
WINDOWS_COMMON_FILES = {
    "accessible_names", "application", "decimal_separator", "dialogs", "file_order",
    "image_view", "number_text", "program_config", "screen_area",
}

BASE = {"engine", "formats", "resources"}
WINDOW_FOLDERS = {"browsers", "help", "export window", "slide show", "map window"}

# For every layer, the layers its files may include.
ALLOWED = {
    "engine": {"engine"},
    "formats": {"engine", "formats"},
    "resources": {"resources"},
    "export job": {"engine", "formats", "export job"},
    "tools": {"engine", "formats", "export job", "resources", "tools"},
    "windows common": BASE | {"windows common"},
}
for folder in WINDOW_FOLDERS:
    ALLOWED[folder] = BASE | {"windows common", folder}
ALLOWED["export window"] = ALLOWED["export window"] | {"export job"}
ALLOWED["main window"] = (BASE | {"export job", "windows common", "main window"}
                          | WINDOW_FOLDERS)

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")


def layer_of(path):
    """The layer of a file given by its path from the root, None when it has none."""
    parts = path.split("/")
    top = parts[0]
    stem = os.path.splitext(parts[-1])[0]
    if top in ("engine", "formats", "resources", "tools"):
        return top
    if top == "export":
        return "export job" if stem == "export_job" else "export window"
    if top == "slideshow":
        return "slide show"
    if top == "ui":
        if len(parts) > 2:
            return {"browsers": "browsers", "help": "help", "map": "map window"}.get(
                parts[1], "main window")
        return "windows common" if stem in WINDOWS_COMMON_FILES else "main window"
    return None


def resolve(root, including, target):
    """The included file's path from the root: beside the includer, else from the root."""
    beside = os.path.normpath(os.path.join(os.path.dirname(including), target))
    if os.path.isfile(os.path.join(root, beside)):
        return beside.replace(os.sep, "/")
    if os.path.isfile(os.path.join(root, target)):
        return os.path.normpath(target).replace(os.sep, "/")
    return None  # a generated or system header


def violations(root):
    found = []
    for folder in ("engine", "formats", "resources", "export", "tools", "ui", "slideshow"):
        for directory, subdirs, files in os.walk(os.path.join(root, folder)):
            subdirs.sort()
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.relpath(os.path.join(directory, name), root).replace(os.sep, "/")
                own = layer_of(path)
                if own is None:
                    continue
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = resolve(root, path, match.group(1))
                        other = layer_of(target) if target else None
                        if other is not None and other not in ALLOWED[own]:
                            found.append(f"{path}:{number}: includes \"{match.group(1)}\" "
                                         f"({other}), which the {own} must not use")
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(
        os.path.dirname(os.path.abspath(__file__)))
    found = violations(root)
    for line in found:
        print(line, file=sys.stderr)
    if found:
        print(f"{len(found)} include(s) against the layers.", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
