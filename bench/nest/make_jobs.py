#!/usr/bin/python3
"""Writes the bundled benchmark jobs (config + parts file) into jobs/.

Deterministic (fixed seed), so the committed files can be regenerated exactly; name jobs
(make_jobs.py cover) to write only those:
  small  - about 30 instances of 6 kinds, one stock size
  medium - about 200 instances of 20 kinds, some with holes, 3 stock sizes
  large  - about 1,000 instances of 40 kinds, 3 stock sizes
  flanges - flanges with wide bores and the discs and washers that fit them (part in part)
  remnants - about 120 instances of 12 kinds onto two irregular remnants (one with a defect)
             before a full sheet; the remnants, in the parts file's format, in remnants_stock.txt
  rects  - rectangles and L-shapes turned by quarter turns only: rows of shared cuts
  cover  - 12 copies of one 910 x 350 cover with 101 holes and slots (about 5,600 edges), on
           the nest page's default stock: what a common-line pass meets on a real part
"""
import math
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def ring_area(pts):
    s = 0.0
    for i in range(len(pts)):
        x1, y1 = pts[i]
        x2, y2 = pts[(i + 1) % len(pts)]
        s += x1 * y2 - x2 * y1
    return abs(s) / 2


def circle(cx, cy, r, n=48):
    return [(cx + r * math.cos(2 * math.pi * i / n), cy + r * math.sin(2 * math.pi * i / n)) for i in range(n)]


def shape(rng, kind, size):
    w = rng.uniform(0.35, 1.0) * size
    h = rng.uniform(0.25, 1.0) * size
    holes = []
    if kind == "rect":
        outline = [(0, 0), (w, 0), (w, h), (0, h)]
        if rng.random() < 0.4:
            holes.append(circle(w / 2, h / 2, min(w, h) * 0.2))
    elif kind == "L":
        a, b = rng.uniform(0.3, 0.5), rng.uniform(0.3, 0.5)
        outline = [(0, 0), (w, 0), (w, h * a), (w * b, h * a), (w * b, h), (0, h)]
    elif kind == "disc":
        r = min(w, h) / 2
        outline = circle(r, r, r, 64)
        holes.append(circle(r, r, r * rng.uniform(0.3, 0.6)))
    elif kind == "flange":
        r = min(w, h) / 2
        outline = circle(r, r, r, 64)
        holes.append(circle(r, r, r * 0.45))
        for k in range(4):
            t = 2 * math.pi * k / 4 + math.pi / 4
            holes.append(circle(r + 0.75 * r * math.cos(t), r + 0.75 * r * math.sin(t), r * 0.08, 24))
    elif kind == "trapezoid":
        c = rng.uniform(0.1, 0.4) * w
        outline = [(0, 0), (w, 0), (w - c, h), (c, h)]
    elif kind == "T":
        s = rng.uniform(0.3, 0.45)
        outline = [(0, h * (1 - s)), (w * (0.5 - s / 2), h * (1 - s)), (w * (0.5 - s / 2), 0),
                   (w * (0.5 + s / 2), 0), (w * (0.5 + s / 2), h * (1 - s)), (w, h * (1 - s)), (w, h), (0, h)]
    else:  # sliver / strip
        outline = [(0, 0), (size * 1.5, 0), (size * 1.5, rng.uniform(8, 25)), (0, rng.uniform(8, 25))]
    return outline, holes


def write_job(name, seed, kinds, total, size, sheets, seconds=20):
    rng = random.Random(seed)
    kind_names = ["rect", "L", "disc", "flange", "trapezoid", "T", "strip"]
    parts = []
    remaining = total
    for k in range(kinds):
        kind = kind_names[k % len(kind_names)]
        outline, holes = shape(rng, kind, rng.uniform(0.3, 1.0) * size)
        dx, dy = rng.uniform(-2000, 2000), rng.uniform(-2000, 2000)
        outline = [(x + dx, y + dy) for x, y in outline]
        holes = [[(x + dx, y + dy) for x, y in hole] for hole in holes]
        q = remaining // (kinds - k) if k < kinds - 1 else remaining
        q = max(1, int(q * rng.uniform(0.6, 1.4))) if k < kinds - 1 else max(1, remaining)
        q = min(q, remaining - (kinds - k - 1)) if k < kinds - 1 else q
        remaining -= q
        parts.append((k + 1, q, outline, holes, "%s%d" % (kind, k + 1)))
    lines = ["# QKS-PARTS 2"]
    pts = lambda ring: ";".join("%.3f,%.3f" % p for p in ring)
    for pid, q, outline, holes, label in parts:
        xs = [p[0] for p in outline]
        ys = [p[1] for p in outline]
        lines.append("P\t%d\t%d\t%g\t%g\t%g\t%g\t%g\tbench\t\t%s" % (
            pid, q, ring_area(outline), min(xs), min(ys), max(xs) - min(xs), max(ys) - min(ys), label))
        lines.append("O\t%d\t%s" % (pid, pts(outline)))
        for hole in holes:
            lines.append("H\t%d\t%s" % (pid, pts(hole)))
    with open(os.path.join(HERE, "jobs", name + "_parts.txt"), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(HERE, "jobs", name + ".cfg"), "w", newline="\n") as f:
        f.write("source=picked\noutDir=/tmp/qks-bench\n")
        for s in sheets:
            f.write("sheet=%s\n" % s)
        f.write("gap=5\nmargin=10\ncell=2\nrotate=1\nmirror=1\nseconds=%d\n" % seconds)
    print(name, sum(p[1] for p in parts), "instances of", len(parts), "kinds")


def write_flanges():
    """Three flange sizes, each with a disc or washer that fits its bore with room to spare."""
    lines = ["# QKS-PARTS 2"]
    pts = lambda ring: ";".join("%.3f,%.3f" % p for p in ring)
    specs = [  # outer radius, bore radius, quantity, disc radius, disc hole radius
        (300, 220, 8, 200, 0),
        (220, 160, 12, 140, 60),
        (160, 110, 16, 95, 0),
    ]
    pid = 0
    for outer, bore, q, disc, washer in specs:
        pid += 1
        outline = circle(outer, outer, outer, 96)
        lines.append("P\t%d\t%d\t%g\t0\t0\t%g\t%g\tbench\t\tflange%d" % (
            pid, q, ring_area(outline), 2 * outer, 2 * outer, pid))
        lines.append("O\t%d\t%s" % (pid, pts(outline)))
        lines.append("H\t%d\t%s" % (pid, pts(circle(outer, outer, bore, 96))))
        pid += 1
        outline = circle(disc, disc, disc, 64)
        lines.append("P\t%d\t%d\t%g\t0\t0\t%g\t%g\tbench\t\t%s%d" % (
            pid, q, ring_area(outline), 2 * disc, 2 * disc, "washer" if washer else "disc", pid))
        lines.append("O\t%d\t%s" % (pid, pts(outline)))
        if washer:
            lines.append("H\t%d\t%s" % (pid, pts(circle(disc, disc, washer, 48))))
    with open(os.path.join(HERE, "jobs", "flanges_parts.txt"), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(HERE, "jobs", "flanges.cfg"), "w", newline="\n") as f:
        f.write("source=picked\noutDir=/tmp/qks-bench\nsheet=2500x1250\ngap=5\nmargin=10\n"
                "cell=2\nrotate=1\nmirror=1\nseconds=20\npartInPart=1\n")
    print("flanges", sum(s[2] for s in specs) * 2, "instances of", 2 * len(specs), "kinds")


def write_remnant_stock():
    """An L-shaped remnant, then one cut on a slant with a round defect: the stock pieces of the
    remnants job, in the order they are to be used."""
    pieces = [
        ([(0, 0), (1400, 0), (1400, 450), (600, 450), (600, 900), (0, 900)], []),
        ([(0, 0), (1600, 0), (1600, 700), (1100, 1100), (0, 1100)],
         [circle(700, 550, 90)]),
    ]
    lines = ["# QKS-PARTS 2"]
    pts = lambda ring: ";".join("%.3f,%.3f" % p for p in ring)
    for pid, (outline, holes) in enumerate(pieces, 1):
        xs = [p[0] for p in outline]
        ys = [p[1] for p in outline]
        lines.append("P\t%d\t1\t%g\t0\t0\t%g\t%g\tbench\t\tremnant%d" % (
            pid, ring_area(outline), max(xs), max(ys), pid))
        lines.append("O\t%d\t%s" % (pid, pts(outline)))
        for hole in holes:
            lines.append("H\t%d\t%s" % (pid, pts(hole)))
    with open(os.path.join(HERE, "jobs", "remnants_stock.txt"), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
def write_rects():
    """Rectangles and L-shapes as a shop cuts them from one sheet: straight edges that rows of
    parts can share once common-line cutting is on."""
    lines = ["# QKS-PARTS 2"]
    pts = lambda ring: ";".join("%.3f,%.3f" % p for p in ring)
    specs = [  # outline, quantity, label
        ([(0, 0), (300, 0), (300, 200), (0, 200)], 20, "rect"),
        ([(0, 0), (400, 0), (400, 150), (0, 150)], 15, "rect"),
        ([(0, 0), (250, 0), (250, 250), (0, 250)], 12, "rect"),
        ([(0, 0), (500, 0), (500, 100), (0, 100)], 12, "strip"),
        ([(0, 0), (300, 0), (300, 100), (100, 100), (100, 300), (0, 300)], 10, "L"),
        ([(0, 0), (400, 0), (400, 80), (120, 80), (120, 200), (0, 200)], 10, "L"),
    ]
    rotations = []
    for pid, (outline, q, label) in enumerate(specs, 1):
        xs = [p[0] for p in outline]
        ys = [p[1] for p in outline]
        lines.append("P\t%d\t%d\t%g\t0\t0\t%g\t%g\tbench\t\t%s%d" % (
            pid, q, ring_area(outline), max(xs), max(ys), label, pid))
        lines.append("O\t%d\t%s" % (pid, pts(outline)))
        rotations.append("partrotate %d=0,90,180,270\n" % pid)
    with open(os.path.join(HERE, "jobs", "rects_parts.txt"), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(HERE, "jobs", "rects.cfg"), "w", newline="\n") as f:
        f.write("source=picked\noutDir=/tmp/qks-bench\nsheet=3000x1500\ngap=5\nmargin=10\n"
                "cell=2\nrotate=1\nmirror=1\nseconds=20\n" + "".join(rotations))
    print("rects", sum(s[1] for s in specs), "instances of", len(specs), "kinds")


def slot(cx, cy, length, width, n=32):
    """A slot along x with rounded ends, each end flattened to n edges as the circles are."""
    r = width / 2
    a = cx - length / 2 + r
    b = cx + length / 2 - r
    right = [(b + r * math.cos(-math.pi / 2 + math.pi * i / n), cy + r * math.sin(-math.pi / 2 + math.pi * i / n))
             for i in range(n + 1)]
    left = [(a + r * math.cos(math.pi / 2 + math.pi * i / n), cy + r * math.sin(math.pi / 2 + math.pi * i / n))
            for i in range(n + 1)]
    return right + left


def write_cover():
    """One 910 x 350 cover, as a shop draws it: fixing holes round the edge, a row of larger
    holes and four rows of ventilation slots; 12 copies on the nest page's default stock."""
    w, h = 910.0, 350.0
    outline = [(0, 0), (w, 0), (w, h), (0, h)]
    holes = []
    for k in range(17):  # fixing holes along the long edges
        x = 30 + k * (w - 60) / 16
        holes.append(circle(x, 20, 4.5))
        holes.append(circle(x, h - 20, 4.5))
    for k in range(4):  # and along the short ones
        y = 70 + k * 70
        holes.append(circle(20, y, 4.5))
        holes.append(circle(w - 20, y, 4.5))
    for k in range(19):
        holes.append(circle(50 + k * 45, 60, 5))
    for j in range(4):
        for k in range(10):
            holes.append(slot(140 + k * 70, 90 + j * 55 + 30, 50, 8))
    lines = ["# QKS-PARTS 2"]
    pts = lambda ring: ";".join("%.3f,%.3f" % p for p in ring)
    lines.append("P\t1\t12\t%g\t0\t0\t%g\t%g\tbench\t\tcover1" % (ring_area(outline), w, h))
    lines.append("O\t1\t%s" % pts(outline))
    for hole in holes:
        lines.append("H\t1\t%s" % pts(hole))
    with open(os.path.join(HERE, "jobs", "cover_parts.txt"), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(HERE, "jobs", "cover.cfg"), "w", newline="\n") as f:
        f.write("source=picked\noutDir=/tmp/qks-bench\nsheet=3000x1500x5\nsheet=2500x1250x10\n"
                "sheet=2000x1000\ngap=5\nmargin=10\ncell=2\nrotate=1\nmirror=1\nseconds=12\n")
    edges = 4 + sum(len(hole) for hole in holes)
    print("cover 12 instances of 1 kind,", len(holes), "holes and slots,", edges, "edges")


JOBS = {
    "small": lambda: write_job("small", 11, 6, 30, 600, ["3000x1500"]),
    "medium": lambda: write_job("medium", 22, 20, 200, 500, ["3000x1500x3", "2500x1250", "2000x1000x4"]),
    "large": lambda: write_job("large", 33, 40, 1000, 320, ["3000x1500", "2500x1250x10", "2000x1000"]),
    "flanges": write_flanges,
    "remnants": lambda: (write_job("remnants", 44, 12, 120, 450, ["3000x1500"]), write_remnant_stock()),
    "rects": write_rects,
    "cover": write_cover,
}

if __name__ == "__main__":
    # Every job, or only those named: each job has its own seed, so one is written alike alone.
    os.makedirs(os.path.join(HERE, "jobs"), exist_ok=True)
    for name in sys.argv[1:] or JOBS:
        JOBS[name]()
