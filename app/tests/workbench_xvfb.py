#!/usr/bin/python3
"""The design workbench of the real program under a private Xvfb, driven as
a user drives it (keys and clicks through xdotool) and read as a screen
reader reads it (AT-SPI), each case against veltrano-cli's own answer for
the same inputs.

One table of cases. Each starts the program with a settings folder of its
own, opens the workbench by F3 beside the main window or by `--design`,
makes its edits and checks what the window then shows; some keep a
screenshot of the window in OUT_DIR for a person to look at. The export to
a real LibreOffice is a case of its own, run with --office: it needs the
office installed and takes its time.

  workbench_xvfb.py VELTRANO VELTRANO_CLI OFFICE_CELLS OUT_DIR [--office]

Needs Debian's /usr/bin/python3 with gi and Atspi, at-spi2-core,
dbus-run-session, Xvfb, xdotool and ImageMagick's import.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import xvfb_session

SCREEN = (1920, 1080)
TITLE = "设计 — Veltrano"
FIRST = [("进料量 F", "100"), ("进料组成 xF", "0.5"), ("塔顶组成 xD", "0.95"), ("塔底组成 xW", "0.05"),
         ("回流比 R", "2"), ("相对挥发度 α", "2.5")]
# Kept from a "last run" before each start, so that typing the example changes what the window shows.
SEED = "[workbench]\nR=3\nalpha=3\n"
ETHANOL_TANGENT = [("物系", "乙醇/水"), ("塔顶组成 xD", "0.8"), ("回流比 R", "1.1")]
RATING = [("回流比 R", "2"), ("相对挥发度 α", "2.5"), ("模式", "核算"), ("塔板数 N", "11"), ("进料板 f", "5"), ("馏出量 D", "50")]


def case(name, opened_by, edits, **expect):
    return dict(name=name, opened_by=opened_by, edits=edits, **expect)


# What each case expects: `design` and `rating` give veltrano-cli's
# arguments whose answer the window must show; `failure` those whose error
# line's text the status line must hold, with the field it blames; `pinch`
# the pinch shown; `kept` what a restart finds; `shot` a screenshot's name.
CASES = [
    case("F3 beside the main window: the first example", "F3", FIRST,
         design=["design", "100", "0.5", "0.95", "0.05", "2", "2.5"]),
    case("--design alone: the first example", "--design", FIRST,
         design=["design", "100", "0.5", "0.95", "0.05", "2", "2.5"]),
    case("subcooled feed, q 1.5", "--design", FIRST + [("进料热状况 q", "1.5")],
         design=["design", "--q", "1.5", "100", "0.5", "0.95", "0.05", "2", "2.5"]),
    case("ethanol-water past its azeotrope", "--design", [("物系", "乙醇/水"), ("回流比 R", "2"), ("塔顶组成 xD", "0.95")],
         failure=["design", "--mixture", "ethanol/water", "100", "0.5", "0.95", "0.05", "2"], blamed="塔顶组成 xD",
         shot="workbench-linux-failure.png"),
    case("ethanol-water at xD 0.8, R just above its tangent pinch", "--design", ETHANOL_TANGENT,
         design=["design", "--mixture", "ethanol/water", "100", "0.5", "0.8", "0.05", "1.1"], pinch="切点",
         shot="workbench-linux-design.png"),
    case("rating N 11, feed stage 5, D 50", "--design", RATING,
         rating=["rate", "--stages", "11", "--feed-stage", "5", "--distillate", "50", "100", "0.5", "2", "2.5"],
         shot="workbench-linux-rating.png"),
    case("closed and started again: the inputs kept", "--design",
         [("物系", "乙醇/水"), ("回流比 R", "2.2"), ("进料热状况 q", "0.8"), ("模式", "核算"), ("塔板数 N", "12")],
         kept={"回流比 R": "2.2", "进料热状况 q": "0.8", "塔板数 N": "12", "物系": "乙醇/水", "核算": "checked"}),
    case("导出 to LibreOffice: the stages with their temperatures", "--design", ETHANOL_TANGENT,
         design=["design", "--mixture", "ethanol/water", "100", "0.5", "0.8", "0.05", "1.1"], exported=True,
         office=True),
]


class Failed(Exception):
    pass


def run(*args, **kw):
    return subprocess.run(list(args), check=True, **kw)


def outside(argv):
    """Starts Xvfb and runs this script again inside a session bus."""
    status = xvfb_session.run_inside(__file__, argv, SCREEN, lambda home: {"XDG_CONFIG_HOME": None})
    if status is None:
        print("FAIL: Xvfb did not start", file=sys.stderr)
        return 1
    return status


class Program:
    """One run of the program with the settings folder `config`."""

    def __init__(self, atspi, program, config, opened_by):
        self.atspi = atspi
        self.stderr = tempfile.TemporaryFile("w+")
        self.env = dict(os.environ, XDG_CONFIG_HOME=config)
        args = [program] + (["--design"] if opened_by == "--design" else [])
        xvfb_session.wait_for_display()
        self.process = subprocess.Popen(args, stderr=self.stderr, env=self.env)
        self.main = None
        if opened_by == "F3":
            self.main = self.window(lambda w: w.get_child_count() == 23, "the main window")
            main_id = self.xid("^Veltrano-")
            run("xdotool", "windowfocus", "--sync", main_id)
            run("xdotool", "key", "F3")
            self.main_id = main_id
        self.workbench = self.window(lambda w: w.get_name() == TITLE and w.get_child_count() > 60, "the workbench")
        self.id = self.xid("^" + TITLE + "$")
        self.controls = [self.workbench.get_child_at_index(i) for i in range(self.workbench.get_child_count())]

    def window(self, wanted, what):
        desktop = self.atspi.get_desktop(0)
        for _ in range(300):
            for i in range(desktop.get_child_count()):
                a = desktop.get_child_at_index(i)
                if a is None or a.get_process_id() != self.process.pid:
                    continue
                for j in range(a.get_child_count()):
                    w = a.get_child_at_index(j)
                    if w is not None and wanted(w):
                        return w
            if self.process.poll() is not None:
                raise Failed("the program ended with status %d: %s" % (self.process.returncode, self.tail()))
            time.sleep(0.1)
        raise Failed("%s never showed on the accessibility bus" % what)

    def xid(self, name):
        out = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", name],
                             capture_output=True, text=True, timeout=30).stdout.split()
        if not out:
            raise Failed("no X window named %s" % name)
        return out[0]

    def control(self, name, role=None, editable=None):
        for c in self.controls:
            if c.get_name() != name or (role and c.get_role_name() != role):
                continue
            if editable is not None and c.get_state_set().contains(self.atspi.StateType.READ_ONLY) == editable:
                continue
            return c
        raise Failed("no control named %s" % name)

    def field(self, name):
        return self.control(name, "text", editable=True)

    def result(self, name):
        return self.control(name, "text", editable=False)

    def combo(self):
        return next(c for c in self.controls if c.get_role_name() == "combo box")

    def status(self):
        table = next(i for i, c in enumerate(self.controls) if c.get_role_name() == "table")
        return self.controls[table + 1].get_name()

    def click(self, c):
        e = c.get_extents(self.atspi.CoordType.SCREEN)
        run("xdotool", "mousemove", str(e.x + e.width // 2), str(e.y + e.height // 2), "click", "1")

    def edit(self, name, value):
        run("xdotool", "windowfocus", "--sync", self.id)
        if name == "模式":
            self.click(self.control(value, "radio button"))
        elif name == "物系":
            # Into the list from the field before it, as Tab goes.
            self.click(self.field("默弗里效率 E"))
            run("xdotool", "key", "Tab", "Home")
            combo = self.combo()
            for _ in range(40):
                combo.clear_cache()  # its name is the item shown, and changes unannounced
                if combo.get_name() == value:
                    return
                run("xdotool", "key", "Down")
                time.sleep(0.05)
            raise Failed("the list never showed %s" % value)
        else:
            self.click(self.field(name))
            run("xdotool", "key", "ctrl+a")
            run("xdotool", "type", "--delay", "15", value)

    def close(self, window_id):
        here = os.path.dirname(os.path.abspath(__file__))
        run(sys.executable, os.path.join(here, "x11_close_window.py"), window_id)
        try:
            status = self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise Failed("the program goes on after its window closed")
        if status != 0:
            raise Failed("the program ended with status %d" % status)

    def tail(self):
        self.stderr.seek(0)
        return "".join(self.stderr.readlines()[-40:])


def text_of(atspi, c):
    return atspi.Text.get_text(c, 0, -1)


def full_value(c):
    return float(c.get_description().split("\n")[-1])


def wait_for(check, what, seconds=20):
    last = None
    for _ in range(int(seconds * 10)):
        last = check()
        if last is True:
            return
        time.sleep(0.1)
    raise Failed("%s; found %s" % (what, last))


def cli_lines(cli, args, env):
    out = subprocess.run([cli] + args, capture_output=True, text=True, env=env)
    return out, dict(line.split("\t", 1) for line in out.stdout.splitlines() if "\t" in line)


def check(atspi, p, c, cli, office_cells, out):
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="")
    said = []
    if "design" in c:
        done, lines = cli_lines(cli, c["design"] + ["--details"], env)
        if done.returncode != 0:
            raise Failed("veltrano-cli %s: %s" % (c["design"], done.stderr))
        want = {"进料板": lines["进料板"], "塔板数": lines["塔板数"], "分数板数": float(lines["分数板数"])}

        def shows():
            got = {"进料板": text_of(atspi, p.result("进料板")), "塔板数": text_of(atspi, p.result("塔板数")),
                   "分数板数": full_value(p.result("分数板数"))}
            return got == want and p.status() == "" or (got, p.status())
        wait_for(shows, "the window never showed the CLI's %s" % want)
        said.append("进料板 %s, 塔板数 %s as the CLI" % (want["进料板"], want["塔板数"]))
    if "pinch" in c:
        pinch = text_of(atspi, p.result("夹紧类型"))
        if pinch != c["pinch"]:
            raise Failed("the pinch shows as %s, not %s" % (pinch, c["pinch"]))
    if "failure" in c:
        done, _ = cli_lines(cli, c["failure"], env)
        line = done.stderr.strip()
        if not line.startswith("error 5: "):
            raise Failed("veltrano-cli %s said %r" % (c["failure"], line))
        want = line[len("error 5: "):]
        wait_for(lambda: p.status() == want or p.status(), "the status line never said %r" % want)
        blamed = p.field(c["blamed"]).get_description()
        if blamed != want:
            raise Failed("%s is described as %r, not by the failure" % (c["blamed"], blamed))
        emptied = [r for r in ("进料板", "塔板数", "分数板数") if text_of(atspi, p.result(r))]
        if emptied:
            raise Failed("results still shown: %s" % emptied)
        said.append("status line: %s" % want)
    if "rating" in c:
        done, lines = cli_lines(cli, c["rating"], env)
        want = {k: float(lines[k]) for k in ("馏出液组成 xD", "釜液组成 xW")}

        def rated():
            got = {k: full_value(p.result(k)) for k in want}
            return got == want or got
        wait_for(rated, "the rating never showed the CLI's %s" % want)
        for k, v in want.items():
            if text_of(atspi, p.result(k)) != "%#.4g" % v:
                raise Failed("%s shows %s, not %#.4g" % (k, text_of(atspi, p.result(k)), v))
        said.append("xD %.17g, xW %.17g as the CLI" % (want["馏出液组成 xD"], want["釜液组成 xW"]))
    if p.main is not None:
        m, w = p.main.get_extents(atspi.CoordType.SCREEN), p.workbench.get_extents(atspi.CoordType.SCREEN)
        if not m.x + m.width < w.x < m.x + m.width + 40:
            raise Failed("the workbench at x %d is not beside the main window (%d..%d)" % (w.x, m.x, m.x + m.width))
    if "shot" in c:
        time.sleep(0.5)  # the picture of the last outcome painted
        run("import", "-window", p.id, os.path.join(out, c["shot"]))
        said.append("screenshot " + os.path.join(out, c["shot"]))
    if c.get("exported"):
        said.append(check_export(atspi, p, c, cli, office_cells, env))
    return said


def check_export(atspi, p, c, cli, office_cells, env):
    button = p.control("导出", "push button")
    p.click(button)
    # The export holds the window until the office has the table.
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "LibreOffice Calc"],
                   capture_output=True, timeout=180)
    wait_for(lambda: button.get_state_set().contains(atspi.StateType.SENSITIVE) or "busy", "the export never ended", 180)
    read = subprocess.run([office_cells, "--terminate"], capture_output=True, text=True, timeout=120, env=p.env)
    documents = read.stdout.split("document\n")[1:]
    if read.returncode != 0 or len(documents) != 1:
        raise Failed("the office holds %d tables (%s)" % (len(documents), read.stderr.strip()))
    rows = [r.split("\t") for r in documents[0].splitlines()]
    done, _ = cli_lines(cli, c["design"], env)
    want = [r.split("\t") for r in done.stdout.splitlines()[2:]]
    if [r[0] for r in rows] != [r[0] for r in want] or len(rows) != 4:
        raise Failed("the sheet's rows are %s, the CLI's %s" % ([r[0] for r in rows], [r[0] for r in want]))
    for got, expected in zip(rows, want):
        if [float(v) for v in got[1:]] != [float(v) for v in expected[1:]]:
            raise Failed("row %s differs: %s against the CLI's %s" % (got[0], got[1:4], expected[1:4]))
    return "the office's sheet holds the CLI's rows %s, %d stages" % ("/".join(r[0] for r in rows), len(rows[0]) - 1)


def end_offices(home):
    """Ends every office that runs on `home`'s profile: the test's own."""
    for pid in os.listdir("/proc"):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                environ = f.read().split(b"\0")
            with open("/proc/%s/comm" % pid) as f:
                name = f.read().strip()
        except OSError:
            continue
        if name.startswith("soffice") and ("HOME=" + home).encode() in environ:
            subprocess.run(["kill", "-KILL", pid])


def inside(program, cli, office_cells, out, office):
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi

    failures = 0
    for c in CASES:
        if bool(c.get("office")) != office:
            continue
        config = tempfile.mkdtemp(prefix="config-", dir=os.environ["HOME"])
        os.makedirs(os.path.join(config, "Veltrano"))
        with open(os.path.join(config, "Veltrano", "Veltrano.conf"), "w") as f:
            f.write(SEED)
        p = None
        try:
            p = Program(Atspi, program, config, c["opened_by"])
            for name, value in c["edits"]:
                p.edit(name, value)
            said = check(Atspi, p, c, cli, office_cells, out)
            if "kept" in c:
                time.sleep(0.3)
                p.close(p.id)
                p = Program(Atspi, program, config, "--design")
                for name, value in c["kept"].items():
                    if value == "checked":
                        found = p.control(name, "radio button").get_state_set().contains(Atspi.StateType.CHECKED)
                        found = "checked" if found else "not checked"
                    elif name == "物系":
                        found = p.combo().get_name()
                    else:
                        found = text_of(Atspi, p.field(name))
                    if found != value:
                        raise Failed("after the restart %s is %s, not %s" % (name, found, value))
                said.append("kept: %s" % ", ".join("%s %s" % kv for kv in c["kept"].items()))
            if p.main is not None:
                # Beside the main window, closing the workbench leaves the program running.
                run(sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "x11_close_window.py"), p.id)
                time.sleep(1)
                if p.process.poll() is not None:
                    raise Failed("closing the workbench ended the program")
                said.append("closing it leaves the main window")
            p.close(p.main_id if p.main is not None else p.id)
            p = None
            print("ok   %s: %s" % (c["name"], "; ".join(said)))
        except (Failed, subprocess.SubprocessError) as e:
            failures += 1
            print("FAIL %s: %s" % (c["name"], e), file=sys.stderr)
            if p is not None:
                print("the program's stderr, last lines:\n" + p.tail(), file=sys.stderr)
        finally:
            if p is not None:
                p.process.kill()
                p.process.wait()
            end_offices(os.environ["HOME"])
            shutil.rmtree(config, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    if sys.argv[1] == "--inside":
        program, cli, office_cells, out = sys.argv[2:6]
        sys.exit(inside(program, cli, office_cells, out, "--office" in sys.argv[6:]))
    os.makedirs(sys.argv[4], exist_ok=True)
    sys.exit(outside(sys.argv[1:]))
