#!/usr/bin/python3
"""Asks a serving qkshost for the drawing window's display list of each drawing, as the Studio
does: OPEN the drawing (which writes its model space), then VIEW each named layout, copying each
list the host writes into OUT_DIR. Used by job-outputs.sh.

usage: view_lists.py TEMP_FOLDER OUT_DIR LAYOUT,... DRAWING...
"""
import os
import shutil
import socket
import sys
import time


def ask(folder, line):
    with socket.socket(socket.AF_UNIX) as s:
        s.connect(os.path.join(folder, "qksstudio"))
        s.sendall(line.encode() + b"\n")
        return s.recv(32767).decode()


def wait_for(path, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if os.path.exists(path):
            return True
        time.sleep(0.02)
    return False


def main():
    folder, out, layouts = sys.argv[1], sys.argv[2], sys.argv[3].split(",")
    view = os.path.join(folder, "qks_view.bin")
    if not wait_for(os.path.join(folder, "qksstudio"), 20):
        sys.exit("the host's bridge did not start")
    for drawing in sys.argv[4:]:
        stem = os.path.splitext(os.path.basename(drawing))[0]
        for layout in [None] + layouts:
            if os.path.exists(view):
                os.remove(view)
            reply = ask(folder, "OPEN " + drawing if layout is None else "VIEW " + layout)
            name = "%s.%s.bin" % (stem, layout or "model")
            if wait_for(view, 5 if layout is None else 1):
                time.sleep(0.05)  # written whole and renamed; let a slow rename settle
                shutil.copyfile(view, os.path.join(out, name))
            else:
                with open(os.path.join(out, name + ".none"), "w") as f:
                    f.write(reply + "\n")


main()
