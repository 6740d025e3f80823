#!/usr/bin/env python3
"""Checks `veltrano-cli design` against a second, independent design of the
column, written here from the McCabe-Thiele rules alone: the stage liquid is
found on the pseudo-equilibrium curve by bisection (the program solves a
quadratic), the pinch on the q-line by bisection too, and the feed stage,
the reboiler and the counts by the stated conventions. Stage counts and feed
stages must agree exactly, compositions to 1e-9; inputs that break a
physical rule must give error 5.

usage: design_reference.py path/to/veltrano-cli [--cases N] [--seed S]
"""
import argparse
import random
import subprocess
import sys


def eq(alpha, x):
    return alpha * x / (1 + (alpha - 1) * x)


def bisect(f, lo, hi):
    """The root of an increasing f on [lo, hi]."""
    for _ in range(200):
        mid = (lo + hi) / 2
        if f(mid) > 0:
            hi = mid
        else:
            lo = mid
    return (lo + hi) / 2


def design(F, xF, xD, xW, R, alpha, q, E):
    """(feed stage, N, x, y), or None when a rule is broken or N > 1000."""
    if not (F > 0 and 0 < xW < xF < xD < 1 and alpha > 1 and 0 < E <= 1 and R > 0):
        return None
    W = F * (xD - xF) / (xD - xW)
    D = F - W
    L, V = R * D, R * D + D
    Ls, Vs = L + q * F, V - (1 - q) * F
    # The pinch: the q-line meets the curve where eq(x) - qline(x) changes sign.
    if q == 1:
        xp = xF
    else:
        g = (lambda x: eq(alpha, x) - (q * x - xF) / (q - 1))
        if q > 1:
            xp = bisect(lambda x: -g(x), xF, 1)
        else:
            xp = bisect(g, 0, xF)
    yp = eq(alpha, xp)
    rmin = max(0.0, (xD - yp) / (yp - xp))
    if not (R > rmin and Vs > 0):
        return None
    xm = xF if q == 1 else (xF * (R + 1) + xD * (q - 1)) / (R + q)

    def op(x):
        return (R * x + xD) / (R + 1) if x > xm else (Ls * x - W * xW) / Vs

    def pseudo(x):
        return op(x) + E * (eq(alpha, x) - op(x))

    xs, ys, feed, y = [], [], 0, xD
    while True:
        if len(xs) == 1000:
            return None
        x_star = y / (alpha - (alpha - 1) * y)
        x = x_star if x_star <= xW or E == 1 else bisect(lambda v: pseudo(v) - y, 0, 1)
        xs.append(x)
        ys.append(y)
        if not feed and x <= xm:
            feed = len(xs)
        if x_star <= xW:
            return feed, len(xs), xs, ys
        y = op(x)


def case(rng):
    xW = rng.uniform(0.002, 0.3)
    xD = rng.uniform(0.7, 0.998)
    xF = rng.uniform(xW, xD)
    alpha = rng.choice([rng.uniform(1.1, 1.6), rng.uniform(1.6, 8)])
    q = rng.choice([1, 0, rng.uniform(-1.5, 2.5)])
    E = rng.choice([1, rng.uniform(0.3, 1)])
    R = rng.uniform(0.2, 15)
    if rng.random() < 0.1:  # a broken rule now and then
        xD, xW = xW, xD
    return [100, xF, xD, xW, R, alpha], q, E


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("--cases", type=int, default=300)
    parser.add_argument("--seed", type=int, default=18)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    failures, designed = [], 0
    for _ in range(args.cases):
        six, q, E = case(rng)
        texts = [repr(float(v)) for v in six]
        run = subprocess.run([args.cli, "design", "--q", repr(float(q)), "--efficiency", repr(float(E))] + texts,
                             capture_output=True, text=True, env={"LC_ALL": "C.UTF-8"})
        want = design(*[float(t) for t in texts], float(q), float(E))
        what = "design --q %r --efficiency %r %s" % (q, E, " ".join(texts))
        if want is None:
            if run.returncode != 1 or not run.stderr.startswith("error 5: "):
                failures.append("%s: expected error 5, got exit %d %r" % (what, run.returncode, run.stderr[:120]))
            continue
        lines = run.stdout.splitlines()
        if run.returncode != 0 or len(lines) != 5:
            failures.append("%s: exit %d, %r" % (what, run.returncode, run.stderr[:200]))
            continue
        designed += 1
        feed, n, xs, ys = want
        got_x = [float(v) for v in lines[3].split("\t")[1:]]
        got_y = [float(v) for v in lines[4].split("\t")[1:]]
        if lines[0] != "进料板\t%d" % feed or lines[1] != "塔板数\t%d" % n:
            failures.append("%s: %s / %s, expected feed %d, N %d" % (what, lines[0], lines[1], feed, n))
        elif any(abs(a - b) > 1e-9 for a, b in zip(got_x + got_y, xs + ys)) or len(got_x) != n:
            failures.append("%s: profile differs" % what)
    for f in failures[:20]:
        print("FAIL", f)
    print("%d cases, %d designed, %d failures" % (args.cases, designed, len(failures)))
    return 1 if failures or designed < args.cases // 3 else 0


if __name__ == "__main__":
    sys.exit(main())
