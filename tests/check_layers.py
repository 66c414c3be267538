#!/usr/bin/env python3
"""Layers point down: a library file may include headers of its own layer and
of the layers below it, never of a layer above or beside it.

Usage: check_layers.py SOURCE_DIR

Reads every #include "..." of the library folders and of the public headers,
maps each file to its layer (folders by name, public headers by the table
below) and reports, with file and line, every include that points up or
sideways, and every public header that has no layer yet.
"""
import os
import re
import sys

# Each layer and the layers it may include (its own included).
ALLOWED = {
    "core": {"core"},
    "io": {"core", "io"},
    "archive": {"core", "io", "archive"},
    "res": {"core", "io", "archive", "res"},
    "image": {"core", "io", "archive", "image"},
    "video": {"core", "io", "archive", "res", "image", "video"},
    "audio": {"core", "io", "archive", "res", "image", "video", "audio"},
    "gl": {"core", "io", "archive", "res", "image", "video", "gl"},
    "resmgr": {"core", "io", "archive", "res", "image", "video", "audio", "gl", "resmgr"},
}
FOLDERS = list(ALLOWED)

# Public headers (include/qvr3d/) by layer. export.h is below everything.
HEADERS = {
    "export.h": None,
    "core.h": "core", "string.h": "core", "parse.h": "core",
    "stream.h": "io", "fileutils.h": "io", "resource.h": "io", "text.h": "io",
    "archive.h": "archive", "resfinder.h": "archive",
    "config.h": "res", "translator.h": "res", "score.h": "res",
    "image.h": "image", "pal.h": "image", "font.h": "image",
    "sdlmgr.h": "video", "screen.h": "video", "input.h": "video", "timer.h": "video",
    "videomode.h": "video",
    "sound.h": "audio", "mixer.h": "audio", "music.h": "audio",
    "q3dscreen.h": "gl", "texmgr.h": "gl", "glfont.h": "gl",
    "resmgr.h": "resmgr",
    "qvr3d.h": "umbrella",
}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def layer_of_include(path):
    """The layer a quoted include names, or None when it is below every layer."""
    if path.startswith("qvr3d/"):
        return HEADERS.get(path[len("qvr3d/"):], "unknown")
    folder = path.split("/", 1)[0]
    return folder if folder in ALLOWED else "unknown"


def main():
    root = sys.argv[1]
    problems = []
    files = []
    for folder in FOLDERS:
        base = os.path.join(root, folder)
        if os.path.isdir(base):
            for name in sorted(os.listdir(base)):
                if name.endswith((".cpp", ".h")):
                    files.append((os.path.join(folder, name), folder))
    public = os.path.join(root, "include", "qvr3d")
    for name in sorted(os.listdir(public)):
        if not name.endswith(".h"):
            continue
        layer = HEADERS.get(name)
        if name not in HEADERS:
            problems.append(f"include/qvr3d/{name}: public header with no layer in {__file__}")
            continue
        if layer and layer != "umbrella":
            files.append((os.path.join("include", "qvr3d", name), layer))
    for rel, layer in files:
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = m.group(1)
                target_layer = layer_of_include(target)
                if target_layer is None:
                    continue
                if target_layer == "unknown":
                    problems.append(f"{rel}:{number}: includes \"{target}\", which has no layer")
                elif target_layer == "umbrella":
                    problems.append(f"{rel}:{number}: includes the umbrella header")
                elif target_layer not in ALLOWED[layer]:
                    problems.append(f"{rel}:{number}: {layer} includes \"{target}\" of layer "
                                    f"{target_layer}, which is not below it")
    for p in problems:
        print(p)
    print(f"layers: {len(files)} files checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
