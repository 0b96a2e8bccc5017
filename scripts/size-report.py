#!/usr/bin/python3
"""Lists the product's classes and functions over their size limits.

A class counts its declaration and every member function defined outside it; a function counts
its lines from its head to its closing brace. Sizes come from Universal Ctags' line ranges.

usage: size-report.py [--class-limit N] [--function-limit N] [--check] [ROOT]
  --check  exit 1 when anything is over its limit
"""
import argparse
import collections
import json
import os
import subprocess
import sys

FOLDERS = ["shared", "plugin", "qkshost", "studio"]


def tags(root):
    files = []
    for top in FOLDERS:
        for folder, _, names in os.walk(os.path.join(root, top)):
            files += [os.path.join(folder, n) for n in names if n.endswith((".h", ".cpp"))]
    out = subprocess.run(
        ["ctags", "--output-format=json", "--fields=+neKZ", "--c++-kinds=+p-v-l-m-e-d-t-n-x",
         "-L", "-", "-f", "-"],
        input="\n".join(files), capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        tag = json.loads(line)
        if tag.get("_type") == "tag" and "end" in tag:
            tag["path"] = os.path.relpath(tag["path"], root)
            yield tag


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--class-limit", type=int, default=600)
    parser.add_argument("--function-limit", type=int, default=150)
    parser.add_argument("--check", action="store_true")
    parser.add_argument("root", nargs="?", default=os.path.join(os.path.dirname(__file__), ".."))
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    classes = collections.Counter()
    where = {}
    inside = collections.defaultdict(list)  # class -> (path, first line, last line) of its body
    functions = []
    all_tags = list(tags(root))
    for tag in all_tags:
        if tag.get("kind") in ("class", "struct"):
            name = (tag.get("scope", "") + "::" if tag.get("scope") else "") + tag["name"]
            classes[name] += tag["end"] - tag["line"] + 1
            where.setdefault(name, tag["path"])
            inside[name].append((tag["path"], tag["line"], tag["end"]))
    for tag in all_tags:
        if tag.get("kind") != "function":
            continue
        size = tag["end"] - tag["line"] + 1
        scope = tag.get("scope")
        # Member functions defined outside their class's body add to it.
        if scope and tag.get("scopeKind") in ("class", "struct") and not any(
                path == tag["path"] and first <= tag["line"] <= last
                for path, first, last in inside.get(scope, [])):
            classes[scope] += size
        functions.append((size, "%s:%d %s%s" % (tag["path"], tag["line"],
                                               scope + "::" if scope else "", tag["name"])))
    over = 0
    for name, size in classes.most_common():
        if size <= args.class_limit:
            break
        over += 1
        print("class    %5d  %s (%s)" % (size, name, where.get(name, "?")))
    for size, name in sorted(functions, reverse=True):
        if size <= args.function_limit:
            break
        over += 1
        print("function %5d  %s" % (size, name))
    print("%d over the limits (classes %d lines, functions %d)" %
          (over, args.class_limit, args.function_limit))
    return 1 if args.check and over else 0


sys.exit(main())
