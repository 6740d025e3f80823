#!/usr/bin/env python3
"""Checks veltrano-cli against a second, independent implementation of the
column, written here in Python from the engineering rules alone.

Python floats are IEEE doubles and every statement below keeps the program's
grouping and order, so each x and y must agree to the last bit; exit codes,
error numbers and the integer results must agree exactly.

usage: cli_reference.py path/to/veltrano-cli [--cases N] [--seed S] [--runner CMD]
  --runner: a program that runs the CLI, such as the Wine wrapper for the
  Windows build (its output then goes through files: Wine's helper
  processes hold a pipe open for seconds). A case that Wine itself ended
  before the CLI ran is said and run once more.
"""
import argparse
import math
import os
import random
import re
import subprocess
import sys
import tempfile

MAX_PLATES = 30


class RunError(Exception):
    def __init__(self, number):
        super().__init__(number)
        self.number = number


# --- number text, C locale: '.' decimal point, no grouping -----------------
BLANKS = " \t\u00a0\u3000"
NUMBER = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?")


def parse(text):
    core = text.strip(BLANKS)
    if not NUMBER.fullmatch(core):
        raise RunError(13)
    value = float(core)
    if math.isinf(value):
        raise RunError(6)
    return value


# --- IEEE operations with the flags they raise ----------------------------
INVALID, DIVZERO, OVERFLOW = 1, 2, 4


class Num:
    """A double with the exception flags raised while computing it."""

    def __init__(self, v, flags=0):
        self.v, self.flags = v, flags

    @staticmethod
    def lift(x):
        return x if isinstance(x, Num) else Num(x)

    def _result(self, other, value, division=False):
        other = Num.lift(other)
        a, b = self.v, other.v
        flags = self.flags | other.flags
        if math.isnan(value):
            if not (math.isnan(a) or math.isnan(b)):
                flags |= INVALID
        elif math.isinf(value) and not (math.isinf(a) or math.isinf(b)):
            flags |= DIVZERO if division and b == 0 else OVERFLOW
        return Num(value, flags)

    def __add__(self, o):
        return self._result(o, self.v + Num.lift(o).v)

    def __sub__(self, o):
        return self._result(o, self.v - Num.lift(o).v)

    def __mul__(self, o):
        return self._result(o, self.v * Num.lift(o).v)

    def __truediv__(self, o):
        a, b = self.v, Num.lift(o).v
        if b == 0:
            if a == 0 or math.isnan(a):
                q = math.nan
            else:
                q = math.copysign(math.inf, a) * math.copysign(1.0, b)
        else:
            q = a / b  # Python raises only for b == 0
        return self._result(o, q, division=True)


def stored(num):
    if num.flags & DIVZERO:
        raise RunError(11)
    if num.flags:
        raise RunError(6)
    return num.v


def column(F, xF, xD, xW, R, alpha):
    N = Num
    W = stored(((N(xD) - xF) * F) / (N(xD) - xW))
    D = stored(N(F) - W)
    L = stored(N(D) * R)
    x = [0.0] * (MAX_PLATES + 1)
    y = [0.0] * (MAX_PLATES + 1)

    def liquid(yn):
        return stored(N(yn) / (N(alpha) - (N(alpha) - 1.0) * yn))

    n = 1
    y[1] = xD
    x[1] = liquid(xD)
    while True:
        n += 1
        if n > MAX_PLATES:
            raise RunError(9)
        y[n] = stored((N(R) / (N(R) + 1.0)) * x[n - 1] + N(xD) / (N(R) + 1.0))
        x[n] = liquid(y[n])
        if not x[n] > xF:
            break
    feed = n
    while True:
        n += 1
        if n > MAX_PLATES:
            raise RunError(9)
        y[n] = stored(((N(L) + F) * x[n - 1]) / ((N(L) + F) - W) - (N(W) * xW) / ((N(L) + F) - W))
        x[n] = liquid(y[n])
        if not x[n] > xW:
            break
    return feed, n, x, y


def expected(args):
    """(exit code, feed, N, x, y) or (1, error number) for six field texts."""
    F_t, xF_t, xD_t, xW_t, R_t, a_t = args
    try:
        # The window's read order: Text1 F, Text2 xD, Text3 xW, Text7 xF, Text4 R, Text5 alpha.
        F = parse(F_t)
        xD = parse(xD_t)
        xW = parse(xW_t)
        xF = parse(xF_t)
        R = parse(R_t)
        alpha = parse(a_t)
        return (0,) + column(F, xF, xD, xW, R, alpha)
    except RunError as e:
        return (1, e.number)


# --- the cases ------------------------------------------------------------
def plate_count(F, xF, xD, xW, R, alpha):
    try:
        return column(F, xF, xD, xW, R, alpha)[1]
    except RunError as e:
        return -e.number


def boundary_alpha(F, xF, xD, xW, R):
    """An alpha where the column needs exactly 30 plates, and one just below
    it that needs 31 (error 9)."""
    lo, hi = 1.05, 20.0  # lo: too many plates, hi: few
    if plate_count(F, xF, xD, xW, R, hi) <= 0 or plate_count(F, xF, xD, xW, R, lo) != -9:
        return None
    for _ in range(200):
        mid = (lo + hi) / 2
        if mid in (lo, hi):
            break
        if plate_count(F, xF, xD, xW, R, mid) == -9:
            lo = mid
        else:
            hi = mid
    return hi, lo


def text(v, rng):
    """A field text for v in one of the forms a user might type."""
    form = rng.randrange(6)
    s = repr(v)
    if form == 1:
        return " " + s + " "
    if form == 2:
        return "+" + s if not s.startswith("-") else s
    if form == 3:
        return "%.17e" % v
    if form == 4:
        return "\u3000" + s + "\t"
    return s


def make_cases(count, seed):
    rng = random.Random(seed)
    cases = []
    # The first worked example.
    cases.append(["100", "0.5", "0.95", "0.05", "2", "2.5"])
    # Random physical columns; many need more than 30 plates (error 9).
    while len(cases) < count * 0.5:
        xW = rng.uniform(0.001, 0.3)
        xD = rng.uniform(0.7, 0.999)
        xF = rng.uniform(xW + 0.05, xD - 0.05)
        alpha = rng.uniform(1.1, 6.0)
        R = rng.uniform(0.2, 8.0)
        F = rng.uniform(1, 1000)
        cases.append([text(v, rng) for v in (F, xF, xD, xW, R, alpha)])
    # Exactly 30 plates, and 31 (error 9).
    while len(cases) < count * 0.6:
        F, xW, xD = rng.uniform(10, 500), rng.uniform(0.01, 0.1), rng.uniform(0.9, 0.99)
        xF, R = rng.uniform(0.3, 0.7), rng.uniform(1.5, 6.0)
        found = boundary_alpha(F, xF, xD, xW, R)
        if found:
            for a in found:
                cases.append([repr(v) for v in (F, xF, xD, xW, R, a)])
    # The feed composition hit exactly by a plate's liquid: the rectifying
    # section does not depend on xF, so take a plate's x as the new xF.
    while len(cases) < count * 0.7:
        F, xW, xD = rng.uniform(10, 500), rng.uniform(0.01, 0.1), rng.uniform(0.9, 0.99)
        R, alpha = rng.uniform(1.5, 5.0), rng.uniform(2.0, 5.0)
        r = expected([repr(v) for v in (F, 0.5, xD, xW, R, alpha)])
        if r[0] == 0:
            k = rng.randrange(2, r[1] + 1)
            cases.append([repr(v) for v in (F, r[3][k], xD, xW, R, alpha)])
    # Arithmetic failures: R = -1 (division by zero), xD = xW, huge flows,
    # unphysical but accepted values.
    specials = [
        ["100", "0.5", "0.95", "0.05", "-1", "2.5"],
        ["100", "0.5", "0.5", "0.5", "2", "2.5"],
        ["100", "0.5", "0.95", "0.95", "2", "2.5"],
        ["1e308", "-1e308", "1e308", "0.05", "2", "2.5"],
        ["1.7e308", "0.5", "0.95", "0.05", "2", "2.5"],
        ["100", "0.5", "0.95", "0.05", "1e308", "2.5"],
        ["100", "0.5", "0.95", "0.05", "2", "1"],
        ["100", "0.5", "0.95", "0.05", "2", "0"],
        ["0", "0.5", "0.95", "0.05", "2", "2.5"],
        ["-100", "0.5", "0.95", "0.05", "2", "2.5"],
        ["100", "1.5", "0.95", "0.05", "2", "2.5"],
        ["100", "0.5", "0.95", "0.05", "0", "2.5"],
        ["100", "0.5", "0.95", "0.05", "2", "1e-320"],
        ["1e-320", "0.5", "0.95", "0.05", "2", "2.5"],
        ["100", "0.5", "0.95", "0.05", "2", "-2.5"],
    ]
    cases += specials
    # Text forms, good and bad, in every field; some rows hold several bad
    # fields so the read order decides which error is raised.
    good = ["100", "0.5", "0.95", "0.05", "2", "2.5"]
    forms = ["", " ", "abc", "1,5", "1.000,5", "0x10", "nan", "inf", "-inf", "1e", "e5", "--1",
             "+-1", "1 0", ".", ".5", "5.", "1e309", "-1e309", "1e-400", "1E+2", "  2.5  ",
             "\u30002.5", "1e99999999999", "0.000000000000000000001e-300", "１", "1_0", "Infinity"]
    while len(cases) < count:
        row = list(good)
        for _ in range(rng.choice([1, 1, 2, 3])):
            row[rng.randrange(6)] = rng.choice(forms)
        cases.append(row)
    return cases


def run_cli(command, args):
    env = {"LC_ALL": "C.UTF-8", "PATH": "/usr/bin:/bin"}
    # What a runner needs of ours: its prefix and home.
    env.update({k: os.environ[k] for k in ("HOME", "VELTRANO_WINEPREFIX") if k in os.environ})
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(command + args, stdout=out, stderr=err, timeout=300, env=env).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(command + args, code, out.read(), err.read())


def ended_by_wine(run):
    """Status 1 and nothing written on either stream: what Wine's server
    leaves of a program it ends before the program has run (as `wineserver
    -k` does, and Wine's shut-down with whatever is still attached). Never
    the CLI's own doing: it writes a line before every status 1."""
    return run.returncode == 1 and not run.stdout and not run.stderr


def check(cli, args, under_wine):
    run = run_cli(cli, args)
    if under_wine and ended_by_wine(run):
        # Said, and tried once more: a CLI that loses its error line loses
        # it again, and fails below.
        print("NOTE %r: status 1 and no output at all, as Wine leaves a program it ended; run again" % (args,))
        run = run_cli(cli, args)
    want = expected(args)
    if run.returncode != want[0]:
        return "exit %d, expected %d (%s)" % (run.returncode, want[0], run.stderr.decode()[:200])
    if want[0] == 1:
        first = run.stderr.decode().splitlines()[0] if run.stderr else ""
        if run.stdout or not first.startswith("error %d: " % want[1]):
            return "got %r, expected error %d (stdout %r, stderr %r)" % (
                first, want[1], run.stdout[:200], run.stderr[:200])
        return None
    _, feed, n, x, y = want
    lines = run.stdout.decode().split("\n")
    if len(lines) != 6 or lines[5] != "":
        return "expected five lines, got %r" % run.stdout[:200]
    if lines[0] != "进料板\t%d" % feed or lines[1] != "塔板数\t%d" % n:
        return "results %r, expected feed %d, plates %d" % (lines[:2], feed, n)
    if lines[2] != "\t".join(["板"] + [str(i) for i in range(1, n + 1)]):
        return "plate row %r" % lines[2]
    for label, row, want_values in (("X", lines[3], x), ("Y", lines[4], y)):
        cells = row.split("\t")
        if cells[0] != label or len(cells) != n + 1:
            return "%s row %r" % (label, row)
        for i, cell in enumerate(cells[1:], start=1):
            got = float(cell)
            if got.hex() != want_values[i].hex() or repr(got) != repr(float(repr(got))):
                return "%s[%d] = %s, expected %r" % (label, i, cell, want_values[i])
    return None


def main():
    p = argparse.ArgumentParser()
    p.add_argument("cli")
    p.add_argument("--cases", type=int, default=400)
    p.add_argument("--seed", type=int, default=20261207)
    p.add_argument("--runner")
    a = p.parse_args()
    cli = ([a.runner] if a.runner else []) + [a.cli]
    cases = make_cases(a.cases, a.seed)
    failures = 0
    outcomes = {}
    for args in cases:
        problem = check(cli, args, a.runner is not None)
        want = expected(args)
        key = "ok" if want[0] == 0 else "error %d" % want[1]
        outcomes[key] = outcomes.get(key, 0) + 1
        if problem:
            failures += 1
            print("FAIL %r: %s" % (args, problem))
    print("%d cases: %s; %d failed" % (len(cases), ", ".join(
        "%s %d" % kv for kv in sorted(outcomes.items())), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
