#!/usr/bin/env python3
"""The layers point one way: each product folder includes only itself and the folders beneath it.

Every #include of every source in a product folder is resolved as the compiler resolves it (a quoted
name beside the including file first, then the include directories; an angle-bracket name in the
include directories only; "../" steps taken literally), and the folder of the file it reaches must be
one the including folder may use. Names that reach no file of the tree (system and generated headers)
are not ours to check. A folder missing from the table below fails too, so a new folder gets a place.

The table follows the libraries each folder's targets link (an include of a folder a library does not
link is an upward or sideways step that only a header-only use would let through).
"""
import os
import re
import sys

# folder: the folders (or single headers) it may include besides its own files.
PLATFORM_AFX = {"platform/afx"}
MAY_INCLUDE = {
    "platform/afx": set(),
    "platform/atl": set(),
    "platform/dshow": set(),
    "platform/ui": PLATFORM_AFX,
    # The engine loads the two media libraries and calls their exports: their interface headers only.
    "platform/castmix": {"media/video/Vidlatch.h", "media/audio/Sonarel.h"},
    "core": PLATFORM_AFX,
    "protocol": {"core"} | PLATFORM_AFX,
    "database": {"core", "third_party"} | PLATFORM_AFX,
    "filetransfer": {"core"} | PLATFORM_AFX,
    "controls": {"core", "platform/ui"} | PLATFORM_AFX,
    # Conversion and packages sit beneath the windows that show them.
    "slides": {"core"} | PLATFORM_AFX,
    # The windows call the engine through its published interface only.
    "dialogs": {"controls", "database", "protocol", "core", "platform/ui", "platform/castmix/Castmix.h"} | PLATFORM_AFX,
    "classroom": {"dialogs", "controls", "slides", "filetransfer", "database", "protocol", "core", "platform/ui",
                  "platform/castmix/Castmix.h"} | PLATFORM_AFX,
    "media/common": {"core"} | PLATFORM_AFX,
    "media/audio": {"media/common", "core"} | PLATFORM_AFX,
    # The recorder's frame clock is the file transfer's multimedia timer, built into the library.
    "media/video": {"media/common", "core", "filetransfer/MMTimer.h", "platform/dshow"} | PLATFORM_AFX,
    "imagecontrol": {"platform/atl"} | PLATFORM_AFX,
    # The updater asks the gateway with the client's own packet header and address helpers.
    "updater": {"protocol", "core"} | PLATFORM_AFX,
}
# Top-level folders that hold no product code.
NOT_PRODUCT = {"tests", "bench", "third_party", "cmake", "scripts", "skin", "Language"}
# Folders with more than one layer inside.
SPLIT = {"platform", "media"}
SOURCES = (".h", ".hpp", ".hh", ".inl", ".c", ".cc", ".cpp", ".cxx", ".rc", ".idl")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def layer(rel):
    parts = rel.split("/")
    return "/".join(parts[:2]) if parts[0] in SPLIT and len(parts) > 2 else parts[0]


def product_folders(root):
    for top in sorted(os.listdir(root)):
        path = os.path.join(root, top)
        if top.startswith(".") or top in NOT_PRODUCT or not os.path.isdir(path):
            continue
        if os.path.exists(os.path.join(path, "CMakeCache.txt")):
            continue  # a build folder
        for folder, subdirs, files in os.walk(path):
            subdirs.sort()
            yield folder, sorted(files)


def include_dirs(root):
    """The source root, plus folders a CMakeLists.txt adds with its own CMAKE_CURRENT_SOURCE_DIR."""
    dirs = [""]
    for folder, files in product_folders(root):
        if "CMakeLists.txt" not in files:
            continue
        text = open(os.path.join(folder, "CMakeLists.txt"), errors="replace").read()
        for use in re.findall(r"include_directories\([^)]*\)", text):
            if "${CMAKE_CURRENT_SOURCE_DIR}" in use:
                dirs.append(os.path.relpath(folder, root).replace(os.sep, "/"))
    dirs.append("third_party/sqlite")
    return dirs


def resolve(root, dirs, including, quoted, name):
    bases = ([os.path.dirname(including)] if quoted else []) + dirs
    for base in bases:
        rel = os.path.normpath(os.path.join(base, name)).replace(os.sep, "/")
        if not rel.startswith("../") and os.path.isfile(os.path.join(root, rel)):
            return rel
        if rel.startswith("../"):
            return rel  # outside the tree: always wrong for product code
    return None


def allowed(source_layer, target):
    if target.startswith("../"):
        return False
    target_layer = layer(target)
    if target_layer == source_layer:
        return True
    rules = MAY_INCLUDE[source_layer]
    return target_layer in rules or target in rules or target.split("/")[0] in rules


def product_sources(root):
    for folder, files in product_folders(root):
        for name in files:
            if name.endswith(SOURCES):
                yield os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")


def main(root):
    dirs = include_dirs(root)
    faults = []
    for rel in product_sources(root):
        source_layer = layer(rel)
        if source_layer not in MAY_INCLUDE:
            faults.append(f"{rel}: folder {source_layer}/ has no place in the layer table")
            continue
        with open(os.path.join(root, rel), errors="replace") as source:
            for number, line in enumerate(source, 1):
                found = INCLUDE.match(line)
                if not found:
                    continue
                target = resolve(root, dirs, rel, found.group(1) == '"', found.group(2))
                if target and not allowed(source_layer, target):
                    faults.append(f"{rel}:{number}: {line.strip()}  ->  {target}")
    if faults:
        print("includes that point upwards or sideways:")
        print("\n".join(faults))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
