#!/usr/bin/python3
"""Fails when a module includes a header of a module it may not use.

Every header under a module's include folder belongs to that module; a source or header of a
module may include its own headers and those of the modules its row below lists. Tests,
benchmarks, fuzz targets and the command-line tools may include anything.

usage: check-boundaries.py [ROOT]
"""
import os
import re
import sys

GROUND = ["shared/geometry"]
PLUGIN_BASE = ["shared/common", "shared/host", "shared/contract"] + GROUND
NEST_JOB = PLUGIN_BASE + ["plugin/drawing", "plugin/job", "plugin/plot", "plugin/nest/engine",
                          "plugin/nest"]

# Module folder -> the module folders it may use (its own is always allowed).
ALLOWED = {
    "shared/geometry": [],
    "shared/common": [],
    "shared/host": ["shared/common"],
    "shared/contract": GROUND,
    "plugin/bridge": PLUGIN_BASE,
    "plugin/job": PLUGIN_BASE,
    "plugin/drawing": PLUGIN_BASE,
    "plugin/nest/engine": ["shared/contract"] + GROUND,
    # The runtime beside the engine (worker thread, session slot, parts and progress files) is
    # the job's side of the engine.
    "plugin/nest": NEST_JOB,
    "plugin/nest/job": NEST_JOB,
    "plugin/plot": PLUGIN_BASE + ["plugin/drawing", "plugin/job"],
    # The merge job writes its labels in the drawings' text style and names its outputs as the
    # plot jobs do: both are drawing helpers, beside the plot engine it uses.
    "plugin/merge": PLUGIN_BASE + ["plugin/plot", "plugin/job", "plugin/drawing"],
    "plugin/bom": PLUGIN_BASE + ["plugin/drawing", "plugin/job", "plugin/plot"],
    "plugin/tools": PLUGIN_BASE + ["plugin/drawing", "plugin/job"],
    "plugin/entry": NEST_JOB + ["plugin/bridge", "plugin/nest/job", "plugin/merge",
                                "plugin/bom", "plugin/tools"],
    # The host writes the drawing window's display list, whose format the Studio shares.
    "qkshost": ["shared/host", "shared/common", "shared/contract"],
    "studio": ["shared/contract"] + GROUND,
}

# Files that still reach across while the job configs move into the contract.
PENDING = {
    "shared/common/src/job_config.cpp",
    "plugin/nest/engine/src/config.cpp",
}

SOURCE = re.compile(r"\.(h|hpp|cpp|cc)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def module_of(path):
    """The module a project file belongs to: the longest ALLOWED key its path starts with.
    qkshost's and the Studio's folders are one module each here."""
    best = None
    for module in ALLOWED:
        if path == module or path.startswith(module + "/"):
            if best is None or len(module) > len(best):
                best = module
    return best


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    files = []
    for top in ["shared", "plugin", "qkshost", "studio"]:
        for folder, _, names in os.walk(os.path.join(root, top)):
            files += [os.path.relpath(os.path.join(folder, n), root) for n in names
                      if SOURCE.search(n)]
    # Which module owns each include path ("qks/nest/config.h" -> plugin/nest/engine).
    owner = {}
    for path in files:
        parts = path.split("/")
        if "include" in parts:
            at = parts.index("include")
            owner["/".join(parts[at + 1:])] = module_of(path)
    faults = []
    for path in files:
        module = module_of(path)
        if module is None or path in PENDING:
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for included in INCLUDE.findall(text):
            target = owner.get(included)
            if target is None or target == module or target in ALLOWED[module]:
                continue
            faults.append("%s: %s includes %s (%s)" % (path, module, included, target))
    for fault in faults:
        print(fault)
    if faults:
        print("%d includes cross a module boundary the design does not allow" % len(faults))
        return 1
    print("module boundaries hold (%d files)" % len(files))
    return 0


sys.exit(main())
