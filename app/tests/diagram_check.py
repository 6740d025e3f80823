#!/usr/bin/env python3
"""Reads the diagrams veltrano-cli writes with --svg back through an XML
parser and holds them against the CLI's own table and the column's rules:
the staircase's vertices are the printed x and y, text for text; the curve's
points lie on the equilibrium curve; both operating lines end on the q-line
at one point; every step is numbered and the feed plate's is marked; nothing
leaves the unit square. For a sweep: each point is a row of the table.

Design mode likewise: the staircase is its printed stages, also where a
magnified corner draws it; the q-line has its slope and ends on the curve;
the pseudo-equilibrium curve is there exactly when E < 1 and on its
equation; every stage is numbered once, in the plot or in a corner, and no
two numbers overlap; its sweeps place each point at its own value and their
plate axis reaches the tallest column.

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
DESIGNS = {  # name: (arguments, the magnified corners it needs)
    "high purity": (["100", "0.5", "0.999", "0.001", "2", "2.5"], {"A", "B"}),
    "high purity, E 0.7": (["--efficiency", "0.7", "100", "0.5", "0.999", "0.001", "2", "2.5"], {"A", "B"}),
    "subcooled feed": (["--q", "1.5", "100", "0.36", "0.915", "0.05", "1.55", "2.5"], set()),
    "subcooled feed, E 0.7": (["--q", "1.5", "--efficiency", "0.7", "100", "0.36", "0.915", "0.05", "1.55", "2.5"],
                              set()),
    "superheated feed": (["--q", "-1", "100", "0.5", "0.95", "0.05", "5", "2.5"], set()),
    "saturated vapour": (["--q", "0", "100", "0.5", "0.95", "0.05", "3", "2.5"], set()),
    "994 stages": (["--efficiency", "0.01", "100", "0.5", "0.95", "0.05", "2", "2.5"], None),
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


def options(args):
    """The design's q and E, and its six arguments as numbers."""
    q = float(args[args.index("--q") + 1]) if "--q" in args else 1.0
    E = float(args[args.index("--efficiency") + 1]) if "--efficiency" in args else 1.0
    return q, E, [float(a) for a in args[-6:]]


def number_box(text):
    """The box of a stage number around its anchor, as the diagram estimates it."""
    ems = sum(1.0 if ord(ch) >= 0x3000 else 0.58 for ch in text.text)
    w, cx, cy = ems * 11 + 2, float(text.get("x")), float(text.get("y")) - 11 * 0.36
    return (cx - w / 2, cy - 6.5, cx + w / 2, cy + 6.5)


def overlap(a, b, slack=0.02):
    return a[0] < b[2] - slack and b[0] < a[2] - slack and a[1] < b[3] - slack and b[1] < a[3] - slack


def check_design(cli, name, args, corners, workdir):
    code, out, err = run(cli, ["design", "--svg", "g.svg"] + args, workdir)
    if not check(code == 0, "%s: exit %d %s" % (name, code, err)):
        return
    rows = [line.split("\t") for line in out.split("\n")[:5]]
    feed, n = int(rows[0][1]), int(rows[1][1])
    x, y = [None] + rows[3][1:], [None] + rows[4][1:]  # texts, by stage
    q, E, (F, xF, xD, xW, R, alpha) = options(args)
    root = ET.parse(os.path.join(workdir, "g.svg")).getroot()
    check(all_numbers_finite(root), name + ": an svg without NaN or infinity")
    plot = next(g for g in root.iter(NS + "g") if g.get("id") == "plot")
    check(plot.get("transform") == "matrix(580.00 0 0 -580.00 90.00 714.00)", name + ": the unit square's frame")

    # The staircase, vertex for vertex the printed stages; under the reboiler, the diagonal.
    want = [(y[1], y[1])]
    for s in range(1, n + 1):
        want += [(x[s], y[s]), (x[s], y[s + 1] if s < n else x[s])]
    stairs = polylines(plot, "staircase")
    check(len(stairs) == 1 and points(stairs[0]) == want, name + ": staircase vertices differ from the table")
    above = x[feed - 1] if feed > 1 else y[1]
    check([points(e) for e in polylines(plot, "feed-step")] ==
          [[(above, y[feed]), (x[feed], y[feed]), (x[feed], y[feed + 1] if feed < n else x[feed])]],
          name + ": feed step")

    # Both operating lines meet on the q-line, which rises at q/(q-1) to the curve.
    (rect,), (strip,), (qline,) = (polylines(plot, c) for c in ("rectifying", "stripping", "q-line"))
    (r0, meet), (s0, s1) = ([tuple(map(float, p)) for p in points(e)] for e in (rect, strip))
    check(r0 == (xD, xD) and s0 == (xW, xW) and s1 == meet, name + ": operating lines do not meet")
    check(abs(meet[1] - (R / (R + 1) * meet[0] + xD / (R + 1))) <= 1e-12, name + ": meeting point off the rectifying line")
    (q0, q1) = [tuple(map(float, p)) for p in points(qline)]
    check(q0 == (xF, xF), name + ": the q-line starts at (xF, xF)")
    check(abs(q1[1] - alpha * q1[0] / (1 + (alpha - 1) * q1[0])) <= 1e-12, name + ": the q-line ends off the curve")
    for px_, py_ in (q1, meet):
        if q == 1:
            check(px_ == xF, name + ": the q-line of a saturated liquid is vertical")
        else:
            check(abs((py_ - xF) - q / (q - 1) * (px_ - xF)) <= 1e-12, "%s: (%r, %r) off the q-line" % (name, px_, py_))
    legend = "".join("".join(t.itertext()) for g in root.iter(NS + "g") if g.get("class") == "legend"
                     for t in g.iter(NS + "text"))
    check(("q = %s" % args[args.index("--q") + 1] if "--q" in args else "q = 1") in legend, name + ": q in the legend")

    # The pseudo-equilibrium curve exactly when E < 1, on its equation.
    pseudo = polylines(plot, "pseudo-equilibrium")
    check(bool(pseudo) == (E < 1) and (("拟平衡线（E = " in legend) == (E < 1)), name + ": pseudo-equilibrium curve")
    D = F * (xF - xW) / (xD - xW)
    W, L = F - D, R * (F * (xF - xW) / (xD - xW))
    Ls, Vs = L + q * F, L + q * F - W
    for line in pseudo:
        for cx, cy in ((float(a), float(b)) for a, b in points(line)):
            op = R / (R + 1) * cx + xD / (R + 1) if cx > meet[0] else Ls / Vs * cx - W * xW / Vs
            on = op + E * (alpha * cx / (1 + (alpha - 1) * cx) - op)
            check(abs(cy - on) <= 1e-9, "%s: (%r, %r) off the pseudo-equilibrium curve" % (name, cx, cy))

    # Magnified corners: A from stage 1, B to stage N, each marked on the plot;
    # their staircases lie on the column's own points.
    insets = {g.get("id")[len("inset-"):]: g for g in root.iter(NS + "g") if g.get("class") == "inset"}
    if corners is not None:
        check(set(insets) == corners, "%s: magnified corners %s" % (name, sorted(insets)))
    marks = {r.get("data-inset") for r in root.iter(NS + "rect") if r.get("class") == "inset-mark"}
    check(marks == set(insets), name + ": a mark on the plot for each magnified corner")
    page_height = float(root.get("height"))
    for key, g in insets.items():
        first, last = (int(v) for v in g.get("data-stages").split())
        check((key == "A" and first == 1) or (key == "B" and last == n), "%s: corner %s holds %d..%d" % (name, key, first, last))
        x0, y0, span = (float(v) for v in g.get("data-window").split())
        left, top, size = (float(v) for v in g.get("data-frame").split())
        check(top + size + 20 <= page_height, "%s: corner %s below the page's end" % (name, key))
        scale = size / span
        column = {(round(left + (float(a) - x0) * scale, 2), round(top + size - (float(b) - y0) * scale, 2)) for a, b in want}
        for line in (e for e in g.iter(NS + "polyline") if e.get("class") == "staircase"):
            for vx, vy in ((float(a), float(b)) for a, b in points(line)):
                on_edge = min(abs(vx - left), abs(vx - left - size), abs(vy - top), abs(vy - top - size)) < 0.011
                near = any(abs(vx - cx) <= 0.011 and abs(vy - cy) <= 0.011 for cx, cy in column)
                check(on_edge or near, "%s: corner %s draws (%r, %r), no stage's point" % (name, key, vx, vy))

    # Every stage numbered once (unless the page says some are left out), no
    # two numbers of one panel overlapping, those of a corner inside it.
    thinned = "过密处" in "".join(root.itertext())
    numbered = []
    for group in (g for g in root.iter(NS + "g") if g.get("class") == "step-numbers"):
        key = group.get("data-inset")
        texts = [t for t in group.iter(NS + "text")]
        boxes = [number_box(t) for t in texts]
        numbered += [int(t.get("data-plate")) for t in texts]
        for i in range(len(boxes)):
            for j in range(i + 1, len(boxes)):
                check(not overlap(boxes[i], boxes[j]), "%s: numbers %s and %s overlap" %
                      (name, texts[i].get("data-plate"), texts[j].get("data-plate")))
        if key:
            left, top, size = (float(v) for v in insets[key].get("data-frame").split())
            for t, b in zip(texts, boxes):
                check(b[0] >= left and b[2] <= left + size and b[1] >= top and b[3] <= top + size,
                      "%s: number %s outside corner %s" % (name, t.get("data-plate"), key))
    check(len(numbered) == len(set(numbered)), name + ": a stage numbered twice")
    check(set(numbered) <= set(range(1, n + 1)) and feed in numbered, name + ": stage numbers")
    check(thinned or sorted(numbered) == list(range(1, n + 1)), name + ": a stage left unnumbered")
    if corners is None:
        check(thinned, name + ": a crowd beyond magnifying says its numbers are thinned")


def check_design_sweep(cli, workdir):
    """Each point at its own value (q, E) or R/Rmin (R), the plate axis over the tallest column."""
    hp, pub = DESIGNS["high purity"][0], DESIGNS["subcooled feed"][0]
    cases = [("E", ["--sweep", "E=0.2:1:0.05"] + hp, "1", 0),
             ("q", ["--sweep", "q=-0.5:2:0.1"] + hp, "1", 0),
             ("R", ["--q", "1.5", "--sweep", "R=1:3:0.05"] + pub[2:], "1.55", 0),
             ("R from a failing base", ["--sweep", "R=0.5:3:0.1", "100", "0.5", "0.95", "0.05", "0.5", "2.5"], None, 1)]
    for swept, args, base, status in cases:
        name = "design sweep of " + swept
        code, out, err = run(cli, ["design", "--svg", "w.svg"] + args, workdir)
        if not check(code == status, "%s: exit %d %s" % (name, code, err)):
            continue
        lines = out.split("\n")
        start = next(i for i, line in enumerate(lines) if line.startswith(swept[0] + "\tR/Rmin"))
        table = [line.split("\t") for line in lines[start + 1:] if line]
        root = ET.parse(os.path.join(workdir, "w.svg")).getroot()
        plot = next(g for g in root.iter(NS + "g") if g.get("id") == "plot")
        x0, x1 = (float(v) for v in plot.get("data-x-range").split())
        y0, y1 = (float(v) for v in plot.get("data-y-range").split())
        left, top, width, height = (float(v) for v in plot.get("data-frame").split())
        tallest = max([int(r[3]) for r in table if r[4] == "-"] + [int(lines[1].split("\t")[1]) if base else 0])
        check(y0 == 0 and y1 >= tallest and (y1 == 30 if tallest <= 30 else y1 < 2 * tallest),
              "%s: plate axis 0..%r for %d plates" % (name, y1, tallest))
        circles = {c.get("data-value"): c for c in plot.iter(NS + "circle") if c.get("class") == "plate-count"}
        for value, ratio, feed, plates, error, _ in table:
            at = float(value) if swept in "qE" else float(ratio) if ratio != "-" else None
            if error != "-" or at is None:
                continue
            c = circles.get(value)
            if not check(c is not None and c.get("data-plates") == plates, "%s: point %s" % (name, value)):
                continue
            want_x = left + (at - x0) / (x1 - x0) * width
            want_y = top + height - int(plates) / y1 * height
            check(abs(float(c.get("cx")) - want_x) <= 0.006 and abs(float(c.get("cy")) - want_y) <= 0.006,
                  "%s: point %s drawn at (%s, %s)" % (name, value, c.get("cx"), c.get("cy")))
        marks = [c for c in plot.iter(NS + "circle") if c.get("class") == "base"]
        check(len(marks) == (1 if base else 0), name + ": the base case marked when it was designed")
        if base and marks:
            row = next(r for r in table if r[0] == base)
            check(marks[0].get("data-value" if swept in "qE" else "data-ratio") == (base if swept in "qE" else row[1]),
                  "%s: base case marked at %s" % (name, marks[0].get("data-ratio") or marks[0].get("data-value")))


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
        for name, (args, corners) in DESIGNS.items():
            check_design(cli, name, args, corners, workdir)
        check_design_sweep(cli, workdir)
    for f in failures:
        print("FAIL", f)
    print("%d columns, %d designs and their sweeps checked, %d failures" % (len(COLUMNS), len(DESIGNS), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
