"""A private X display with its own session bus, for the tests that drive
the real window through AT-SPI: the script runs again inside it."""

import os
import subprocess
import sys
import tempfile
import time


def run_inside(script, argv, screen, env_changes, quiet=False):
    """Starts Xvfb at `screen` (width, height) and runs `script` with
    `--inside` and `argv` under dbus-run-session on it, in a fresh HOME and
    XDG_RUNTIME_DIR with `env_changes` (a value None removes the variable).
    Returns its exit status; None when Xvfb does not start. `quiet` keeps
    the session's own chatter on stderr out of the log."""
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "%dx%dx24" % screen, "-nolisten", "tcp",
                             "-noreset"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        display = xvfb.stdout.readline().strip()
        if not display:
            return None
        with tempfile.TemporaryDirectory() as home:
            runtime = os.path.join(home, "runtime")
            os.mkdir(runtime, 0o700)
            env = dict(os.environ, DISPLAY=":" + display, HOME=home, XDG_RUNTIME_DIR=runtime, LANG="C.UTF-8",
                       LC_ALL="", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
            for name in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS"):
                env.pop(name, None)
            for name, value in env_changes(home).items():
                if value is None:
                    env.pop(name, None)
                else:
                    env[name] = value
            return subprocess.run(["dbus-run-session", "--", sys.executable, script, "--inside"] + argv, env=env,
                                  stderr=subprocess.PIPE if quiet else None, text=True).returncode
    finally:
        # Gone before the next test's server starts: a dying server still
        # holds the display's abstract socket, and a program started on the
        # new server could reach the old one and fail.
        xvfb.kill()
        xvfb.wait()


def wait_for_display():
    """Until the X server takes a connection. The server runs with
    -noreset: without it, the last client leaving (a service of the
    session, or this check) resets it, and a program that connects during
    the reset gives up (EAGAIN)."""
    for _ in range(100):
        if subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True).returncode == 0:
            return
        time.sleep(0.1)
