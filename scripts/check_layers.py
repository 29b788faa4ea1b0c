#!/usr/bin/env python3
"""Checks that the includes of the sources point down the layers only.

Every folder below the source root has a rank; a file may include a file of its own folder or of
a folder of lower rank. Folders of one rank are siblings and must not include each other. An
include of a folder without a rank is reported too, so that a new folder gets one.

Usage: check_layers.py [SOURCE_ROOT]   (default: src beside this script's folder)
Prints file:line: message for every offending include and exits 1 if there is any.
"""
import pathlib
import re
import sys

# Lowest first; folders in one tuple are siblings.
LAYERS = (
    ("util",),
    ("bigram",),
    ("pretokenizer",),
    ("bpe",),
    ("bpe/pair", "bpe/rewrite"),
    ("bpe/trainer", "bpe/encoder"),
    ("formats",),
    ("py",),
)
RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = {".hpp", ".cpp", ".h", ".cc"}


def folder_of(path: str) -> str:
    return path.rsplit("/", 1)[0] if "/" in path else ""


def problem(source_folder: str, target_folder: str):
    if target_folder == source_folder:
        return None
    if target_folder not in RANK:
        return f"folder {target_folder or '(root)'} has no layer"
    if RANK[target_folder] > RANK[source_folder]:
        return f"{source_folder} may not include the higher layer {target_folder}"
    if RANK[target_folder] == RANK[source_folder]:
        return f"{source_folder} may not include its sibling {target_folder}"
    return None


def check(root: pathlib.Path) -> list[str]:
    offences = []
    for path in sorted(p for p in root.rglob("*") if p.suffix in SOURCE_SUFFIXES and p.is_file()):
        relative = path.relative_to(root).as_posix()
        source_folder = folder_of(relative)
        if source_folder not in RANK:
            offences.append(f"{relative}:1: folder {source_folder or '(root)'} has no layer")
            continue
        lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
        for number, line in enumerate(lines, start=1):
            match = INCLUDE.match(line)
            if match:
                message = problem(source_folder, folder_of(match.group(1)))
                if message:
                    offences.append(f"{relative}:{number}: {message} ({match.group(1)})")
    return offences


def main() -> int:
    default_root = pathlib.Path(__file__).resolve().parent.parent / "src"
    root = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else default_root
    if not root.is_dir():
        print(f"{root}: not a directory", file=sys.stderr)
        return 2
    offences = check(root)
    for offence in offences:
        print(offence)
    if offences:
        print(f"{len(offences)} include(s) point the wrong way")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
