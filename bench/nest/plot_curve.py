#!/usr/bin/env python3
"""Draws nest_bench's --curve output: the utilisation published over time, one line per
strategy (steps, as a published layout holds until the next one).

    python3 bench/nest/plot_curve.py large_curve.csv large_curve.png
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main(source, target):
    series = {}
    with open(source, newline="") as f:
        for row in csv.DictReader(f):
            series.setdefault(row["strategy"], []).append(
                (float(row["seconds"]), float(row["utilisation"])))
    fig, ax = plt.subplots(figsize=(8, 4.5), dpi=120)
    for name, points in sorted(series.items()):
        points.sort()
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        ax.step(xs, ys, where="post", label=name, linewidth=1.8)
    ax.set_xscale("symlog", linthresh=1.0)
    ax.set_xlabel("seconds (log scale past 1 s)")
    ax.set_ylabel("published utilisation, %")
    ax.set_title("large job: utilisation over time")
    ax.grid(True, alpha=0.3)
    ax.legend()
    fig.tight_layout()
    fig.savefig(target)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: plot_curve.py CURVE.csv OUT.png")
    main(sys.argv[1], sys.argv[2])
