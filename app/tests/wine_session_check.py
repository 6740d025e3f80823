#!/usr/bin/env python3
"""Checks scripts/wine-session: the command's status comes back unchanged,
the Wine session outlives a pause longer than Wine's own shut-down, Wine's
helper processes do not write into a program's stderr, nothing is left
running afterwards, and a prefix that cannot be made fails the run before the
command starts.

usage: wine_session_check.py path/to/wine-session path/to/wine-run
"""
import os
import subprocess
import sys
import tempfile
import time

# Longer than the ~1 s after which Wine (wineserver -p0) begins to shut down
# and the ~2 s after which it kills what is still attached.
PAUSE = 3.5


def prefix_of(runner):
    return os.environ.get("VELTRANO_WINEPREFIX") or os.path.join(
        os.path.dirname(os.path.abspath(runner)), "..", "build", "wine-prefix")


def live_pids():
    for name in os.listdir("/proc"):
        if name.isdigit():
            try:
                with open("/proc/%s/stat" % name) as f:
                    if f.read().rsplit(")", 1)[1].split()[0] != "Z":
                        yield int(name)
            except OSError:
                pass


def servers(prefix):
    """The wineservers of `prefix`: their working folder is named after the
    prefix folder's device and inode."""
    st = os.stat(prefix)
    name = "server-%x-%x" % (st.st_dev, st.st_ino)
    found = []
    for pid in live_pids():
        try:
            if os.path.basename(os.readlink("/proc/%d/exe" % pid)).startswith("wineserver") and \
                    os.readlink("/proc/%d/cwd" % pid).endswith(name):
                found.append(pid)
        except OSError:
            pass
    return found


def windows_programs(prefix):
    """pid -> the file that is its stderr, for the Windows processes of `prefix`."""
    want = ("WINEPREFIX=" + os.path.realpath(prefix)).encode()
    found = {}
    for pid in live_pids():
        try:
            with open("/proc/%d/environ" % pid, "rb") as f:
                env = f.read().split(b"\0")
            if any(os.path.realpath(e[len(b"WINEPREFIX="):]) == want[len(b"WINEPREFIX="):]
                   for e in env if e.startswith(b"WINEPREFIX=")) and \
                    os.readlink("/proc/%d/exe" % pid).startswith("/usr/lib/wine"):
                found[pid] = os.readlink("/proc/%d/fd/2" % pid)
        except OSError:
            pass
    return found


def held(runner):
    """Run inside a session: two programs a pause apart share one server, and
    no Wine process has the programs' stderr as its own."""
    prefix = prefix_of(runner)
    with tempfile.NamedTemporaryFile() as err:
        first = subprocess.run([runner, "cmd", "/c", "exit 0"], stderr=err).returncode
        before = servers(prefix)
        time.sleep(PAUSE)
        second = subprocess.run([runner, "cmd", "/c", "exit 5"], stderr=err).returncode
        after = servers(prefix)
        strays = [pid for pid, path in windows_programs(prefix).items() if path == err.name]
    problems = []
    if (first, second) != (0, 5):
        problems.append("exit statuses %d and %d, expected 0 and 5" % (first, second))
    if len(before) != 1 or before != after:
        problems.append("wineservers %s before the pause, %s after" % (before, after))
    if strays:
        problems.append("Wine processes %s write into a program's stderr" % strays)
    for p in problems:
        print("held session: " + p)
    return 1 if problems else 0


def main():
    if sys.argv[1] == "--held":
        return held(sys.argv[2])
    session, runner = sys.argv[1], sys.argv[2]
    prefix = prefix_of(runner)
    me = [sys.executable, os.path.abspath(__file__)]
    with tempfile.TemporaryDirectory() as tmp:
        marker = os.path.join(tmp, "ran")
        not_a_folder = os.path.join(tmp, "file")
        open(not_a_folder, "w").close()
        cases = [
            # (what, command, extra environment, status, command runs)
            ("success", ["sh", "-c", "touch " + marker], {}, 0, True),
            ("a failure's status", ["sh", "-c", "touch %s; exit 3" % marker], {}, 3, True),
            ("status 1", ["sh", "-c", "touch %s; exit 1" % marker], {}, 1, True),
            ("a held session", me + ["--held", runner], {}, 0, None),
            ("a prefix that cannot be made", ["sh", "-c", "touch " + marker],
             {"VELTRANO_WINEPREFIX": os.path.join(not_a_folder, "prefix")}, 1, False),
        ]
        failures = 0
        for what, command, extra, status, runs in cases:
            if os.path.exists(marker):
                os.remove(marker)
            got = subprocess.run([session] + command, env=dict(os.environ, **extra)).returncode
            problems = []
            if got != status:
                problems.append("status %d, expected %d" % (got, status))
            if runs is not None and os.path.exists(marker) != runs:
                problems.append("the command %s" % ("did not run" if runs else "ran"))
            left = servers(prefix) + list(windows_programs(prefix))
            if left:
                problems.append("left running: %s" % left)
            for p in problems:
                print("FAIL %s: %s" % (what, p))
            failures += bool(problems)
    print("%d cases, %d failed" % (len(cases), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
