#!/usr/bin/python3
"""What a screen reader and a pointer find in the real window, under a
private Xvfb with its own session bus and accessibility bus.

The window's accessible tree read through AT-SPI: each of the eight text
boxes is named by its caption and described by its tooltip, the button by
its caption. Then the pointer rests on a field at the window's right edge
and on a result field: each tooltip shows, says what its field holds, and
lies inside a screen only a little wider than the window. The screenshots
stay in OUT_DIR for a person to look at.

  accessibility_xvfb.py VELTRANO OUT_DIR

Needs Debian's /usr/bin/python3 with gi and Atspi, at-spi2-core,
dbus-run-session, Xvfb, xdotool and ImageMagick's import.
"""
import os
import subprocess
import sys
import tempfile
import time

import xvfb_session

# A caption and what its description must say: the symbol, the physical
# range, or for the results how the column is counted.
EXPECTED = [
    ("text", "进料流率F", ["F：", "kmol/h", "F > 0"]),
    ("text", "馏出组分摩尔比", ["xD：", "摩尔分数", "xF < xD < 1"]),
    ("text", "回流组分摩尔比", ["xW：", "塔底产品（釜液）", "0 < xW < xF"]),
    ("text", "进料组分摩尔比", ["xF：", "xW < xF < xD"]),
    ("text", "回流比", ["R：", "R > 0"]),
    ("text", "相对挥发度", ["α：", "α > 1"]),
    ("text", "塔板数", ["再沸器", "第 1 块是塔顶板", "最多 30 块"]),
    ("text", "进料板", ["不高于 xF", "至少是第 2 块"]),
    ("push button", "计算", ["电子表格"]),
]
# The fields the pointer rests on: one at the right edge, one with two lines.
HOVERED = ["回流组分摩尔比", "塔板数"]
SCREEN = (640, 480)


STDERR = None  # the program's stderr, shown when a check fails


def fail(why):
    print("FAIL: " + why, file=sys.stderr)
    if STDERR is not None:
        STDERR.seek(0)
        print("the program's stderr, last lines:\n" + "".join(STDERR.readlines()[-60:]), file=sys.stderr)
    sys.exit(1)


def outside(program, out):
    """Starts Xvfb and runs this script again inside a session bus."""
    status = xvfb_session.run_inside(__file__, [program, out], SCREEN,
                                     lambda home: {"XDG_CONFIG_HOME": os.path.join(home, ".config")}, quiet=True)
    if status is None:
        fail("Xvfb did not start")
    return status


def inside(program, out):
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi

    global STDERR
    STDERR = tempfile.TemporaryFile("w+")
    xvfb_session.wait_for_display()
    app = subprocess.Popen([program], stderr=STDERR)
    try:
        desktop = Atspi.get_desktop(0)
        window = None
        for _ in range(100):
            for i in range(desktop.get_child_count()):
                a = desktop.get_child_at_index(i)
                if a is not None and a.get_name() == "veltrano" and a.get_child_count() > 0:
                    window = a.get_child_at_index(0)
                    root = a
            if window is not None and window.get_child_count() == 23:
                break
            time.sleep(0.1)
        else:
            fail("the window never showed its 23 controls to the accessibility bus")

        found = {}
        for i in range(window.get_child_count()):
            c = window.get_child_at_index(i)
            if c.get_role_name() in ("text", "push button"):
                found[(c.get_role_name(), c.get_name())] = c
        if sorted(found) != sorted((role, name) for role, name, _ in EXPECTED):
            fail("named controls %s" % sorted(found))
        for role, name, says in EXPECTED:
            description = found[(role, name)].get_description()
            missing = [s for s in says if s not in description]
            if missing:
                fail("%s %s: its description %r lacks %s" % (role, name, description, missing))
            print("%s %s: %s" % (role, name, description.replace("\n", " / ")))

        wid = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Veltrano-"],
                             capture_output=True, text=True, timeout=20).stdout.split()[0]
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True)
        for n, name in enumerate(HOVERED, 1):
            box = found[("text", name)].get_extents(Atspi.CoordType.SCREEN)
            x, y = box.x + box.width // 2, box.y + box.height // 2
            # Into the field from a few pixels away, as a hand moves.
            subprocess.run(["xdotool", "mousemove", str(x - 8), str(y)], check=True)
            time.sleep(0.2)
            subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=True)
            tip = None
            for _ in range(50):
                tips = [root.get_child_at_index(i) for i in range(root.get_child_count())]
                tips = [t for t in tips if t is not None and t.get_role_name() == "tool tip"]
                if tips and tips[-1].get_name() == found[("text", name)].get_description():
                    tip = tips[-1]
                    break
                time.sleep(0.1)
            if tip is None:
                fail("no tooltip over %s" % name)
            e = tip.get_extents(Atspi.CoordType.SCREEN)
            shot = os.path.join(out, "tooltip-%d.png" % n)
            subprocess.run(["import", "-window", "root", shot], check=True)
            if e.x < 0 or e.y < 0 or e.x + e.width > SCREEN[0] or e.y + e.height > SCREEN[1]:
                fail("the tooltip over %s runs off the screen: %d,%d %dx%d" % (name, e.x, e.y, e.width, e.height))
            print("tooltip over %s at %d,%d, %dx%d: %s" % (name, e.x, e.y, e.width, e.height, shot))
            subprocess.run(["xdotool", "mousemove", "600", "460"], check=True)
            time.sleep(0.5)
        # Closed as a window manager's close button asks: status 0, and under
        # the sanitizers nothing of the accessibility bridge leaks.
        here = os.path.dirname(os.path.abspath(__file__))
        subprocess.run([sys.executable, os.path.join(here, "x11_close_window.py"), wid], check=True)
        try:
            status = app.wait(timeout=20)
        except subprocess.TimeoutExpired:
            fail("the program goes on after its window closed")
        if status != 0:
            fail("the program ended with status %d" % status)
    finally:
        app.kill()
    return 0


if __name__ == "__main__":
    if sys.argv[1] == "--inside":
        sys.exit(inside(sys.argv[2], sys.argv[3]))
    os.makedirs(sys.argv[2], exist_ok=True)
    sys.exit(outside(sys.argv[1], sys.argv[2]))
