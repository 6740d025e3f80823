#!/usr/bin/env python3
"""Reads the diagrams veltrano-cli writes with --svg back through an XML
parser and holds them against the CLI's own table and the column's rules:
the staircase's vertices are the printed x and y, text for text; the curve's
points lie on the equilibrium curve; both operating lines end on the q-line
at one point; every step is numbered and the feed plate's is marked; nothing
leaves the unit square. For a sweep: each point is a row of the table.

usage: diagram_check.py path/to/veltrano-cli [--runner CMD]
"""
import argparse
import math
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = "{http://www.w3.org/2000/svg}"
COLUMNS = {  # name: (arguments, physical)
    "first example": (["100", "0.5", "0.95", "0.05", "2", "2.5"], True),
    "second example": (["100", "0.4", "0.9", "0.1", "3", "2.47"], True),
    "30 plates": (["100", "0.5", "0.95", "0.05", "2", "1.89"], True),
    "negative alpha": (["100", "0.5", "0.95", "0.05", "2", "-2.5"], False),
    "distillate above 1": (["100", "0.5", "1.2", "0.05", "2", "2.5"], False),
    "negative reflux": (["100", "0.5", "0.95", "0.05", "-3", "2.5"], False),
}
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def run(cli, args, workdir):
    # Output through files: under Wine, pipes cost seconds a run.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        env = {"LC_ALL": "C.UTF-8", "PATH": "/usr/bin:/bin"}
        env.update({k: os.environ[k] for k in ("HOME", "VELTRANO_WINEPREFIX") if k in os.environ})
        code = subprocess.run(cli + args, stdout=out, stderr=err, cwd=workdir, env=env, timeout=300).returncode
        out.seek(0)
        err.seek(0)
        return code, out.read().decode(), err.read().decode()


def points(element):
    return [tuple(p.split(",")) for p in element.get("points").split()]


def polylines(root, cls):
    return [e for e in root.iter(NS + "polyline") if cls in e.get("class", "").split()]


def all_numbers_finite(root):
    for e in root.iter():
        for name, value in e.attrib.items():
            if name in ("points", "d", "transform", "x", "y", "cx", "cy", "x1", "y1", "x2", "y2", "r") or \
                    name.startswith("data-"):
                if re.search(r"nan|inf", value, re.I):
                    return False
    return True


def check_column(cli, name, args, physical, workdir):
    code, out, err = run(cli, ["--svg", "d.svg"] + args, workdir)
    if not check(code == 0, "%s: exit %d %s" % (name, code, err)):
        return
    rows = [line.split("\t") for line in out.split("\n")[:5]]
    feed, n = int(rows[0][1]), int(rows[1][1])
    x, y = [None] + rows[3][1:], [None] + rows[4][1:]  # texts, by plate
    F, xF, xD, xW, R, alpha = (float(a) for a in args)
    root = ET.parse(os.path.join(workdir, "d.svg")).getroot()
    check(root.tag == NS + "svg" and all_numbers_finite(root), name + ": an svg without NaN or infinity")
    plot = next(g for g in root.iter(NS + "g") if g.get("id") == "plot")
    check(plot.get("transform") == "matrix(580.00 0 0 -580.00 90.00 692.00)", name + ": the unit square's frame")
    for line in plot.iter(NS + "polyline"):
        for px, py in points(line):
            check(0 <= float(px) <= 1 and 0 <= float(py) <= 1, "%s: %s leaves the square" % (name, line.get("class")))

    # The curve: every point on it, within the 1e-9 it is written to.
    curve = [(float(a), float(b)) for line in polylines(plot, "equilibrium") for a, b in points(line)]
    for cx, cy in curve:
        on = alpha * cx / (1 + (alpha - 1) * cx)
        under = cy / (alpha - (alpha - 1) * cy)
        check(min(abs(cy - on), abs(cx - under)) <= 1e-9, "%s: (%r, %r) is off the curve" % (name, cx, cy))
    if not physical:
        return
    check(len(curve) > 200 and curve[0] == (0, 0) and curve[-1] == (1, 1), name + ": the whole curve")

    # The staircase, vertex for vertex the printed profile.
    want = [(y[1], y[1])]  # from (xD, xD): y[1] is xD
    for p in range(1, n + 1):
        want += [(x[p], y[p]), (x[p], y[p + 1] if p < n else x[p])]
    stairs = polylines(plot, "staircase")
    check(len(stairs) == 1 and points(stairs[0]) == want, name + ": staircase vertices differ from the table")
    check([points(e) for e in polylines(plot, "feed-step")] == [[(x[feed - 1], y[feed]), (x[feed], y[feed]),
                                                                (x[feed], y[feed + 1])]], name + ": feed step")
    numbers = [e for e in root.iter(NS + "text") if "step-number" in e.get("class", "")]
    check(sorted(int(e.get("data-plate")) for e in numbers) == list(range(1, n + 1)), name + ": step numbers")
    check([e.get("data-plate") for e in numbers if "feed" in e.get("class")] == [str(feed)], name + ": feed mark")

    # Operating lines from (xD, xD) and (xW, xW) meet on the q-line x = xF.
    (rect,), (strip,), (q,) = (polylines(plot, c) for c in ("rectifying", "stripping", "q-line"))
    (r0, r1), (s0, s1) = ([(float(a), float(b)) for a, b in points(e)] for e in (rect, strip))
    check(r0 == (xD, xD) and s0 == (xW, xW) and r1[0] == s1[0] == xF, name + ": operating line ends")
    check(abs(r1[1] - (R / (R + 1) * xF + xD / (R + 1))) <= 1e-12, name + ": rectifying line off its equation")
    check(abs(r1[1] - s1[1]) <= 1e-12, "%s: the lines do not meet on the q-line: %r %r" % (name, r1, s1))
    qx = {float(a) for a, _ in points(q)}
    qy = [float(b) for _, b in points(q)]
    check(qx == {xF} and min(qy) <= r1[1] <= max(qy), name + ": q-line")


def check_sweep(cli, workdir):
    base = COLUMNS["first example"][0]
    code, out, err = run(cli, ["--sweep", "R=0.5:3:0.1", "--svg", "s.svg"] + base, workdir)
    if not check(code == 0, "sweep: exit %d %s" % (code, err)):
        return
    table = [line.split("\t") for line in out.split("\n")[6:] if line]
    root = ET.parse(os.path.join(workdir, "s.svg")).getroot()
    plot = next(g for g in root.iter(NS + "g") if g.get("id") == "plot")
    x0, x1 = (float(v) for v in plot.get("data-x-range").split())
    left, top, width, height = (float(v) for v in plot.get("data-frame").split())
    circles = {c.get("data-value"): c for c in plot.iter(NS + "circle") if c.get("class") == "plate-count"}
    crosses = {t.get("data-value"): t for t in plot.iter(NS + "text") if t.get("class") == "failed"}
    check(all_numbers_finite(root), "sweep: an svg without NaN or infinity")
    for value, ratio, feed, plates, error in table:
        if error != "-":
            check(value in crosses and crosses[value].get("data-error") == error, "sweep: error row " + value)
            continue
        c = circles.get(value)
        if not check(c is not None and c.get("data-ratio") == ratio and c.get("data-plates") == plates,
                     "sweep: point " + value):
            continue
        want_x = left + (float(ratio) - x0) / (x1 - x0) * width
        want_y = top + height - int(plates) / 30 * height
        check(abs(float(c.get("cx")) - want_x) <= 0.006 and abs(float(c.get("cy")) - want_y) <= 0.006,
              "sweep: point %s drawn at (%s, %s)" % (value, c.get("cx"), c.get("cy")))
    check(len(circles) + len(crosses) == len(table) == 26, "sweep: one mark per row")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("cli")
    p.add_argument("--runner")
    a = p.parse_args()
    cli = ([a.runner] if a.runner else []) + [os.path.abspath(a.cli)]
    with tempfile.TemporaryDirectory() as workdir:
        for name, (args, physical) in COLUMNS.items():
            check_column(cli, name, args, physical, workdir)
        check_sweep(cli, workdir)
        # A failed calculation writes no file.
        code, _, _ = run(cli, ["--svg", "e.svg", "100", "0.5", "0.98", "0.02", "1.5", "2"], workdir)
        check(code == 1 and sorted(os.listdir(workdir)) == ["d.svg", "s.svg"], "error 9 left a file")
    for f in failures:
        print("FAIL", f)
    print("%d columns and a sweep checked, %d failures" % (len(COLUMNS), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
