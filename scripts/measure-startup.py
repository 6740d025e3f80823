#!/usr/bin/env python3
"""Start-up of the Linux window under a private Xvfb.

Starts the program several times and prints, as medians over the runs:
  - milliseconds from exec to the main window being mapped (the X server's
    MapNotify for the program's top-level window);
  - the peak resident set size in MB (VmHWM) once the window has painted.
Targets: under 150 ms and under 60 MB.

usage: measure-startup.py [--runs N] [--program PATH] [-- extra program arguments]
"""
import argparse
import ctypes
import ctypes.util
import os
import select
import signal
import statistics
import subprocess
import sys
import time

MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


def open_xlib():
    x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
    x.XConnectionNumber.argtypes = [ctypes.c_void_p]
    x.XPending.argtypes = [ctypes.c_void_p]
    x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x


def start_xvfb():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            raise SystemExit("Xvfb did not start")
        number += chunk
    os.close(read_end)
    return xvfb, ":" + number.decode().strip()


def one_run(x, display, root, argv, env, timeout=10.0):
    """Returns (ms to the window's MapNotify, peak RSS in MB)."""
    while x.XPending(display):  # stale events of the previous run
        x.XNextEvent(display, ctypes.create_string_buffer(192))
    event = ctypes.create_string_buffer(192)
    start = time.monotonic()
    app = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = start + timeout
        mapped = None
        fd = x.XConnectionNumber(display)
        while mapped is None:
            if not x.XPending(display):
                left = deadline - time.monotonic()
                if left <= 0 or app.poll() is not None:
                    raise RuntimeError("the window was not mapped")
                select.select([fd], [], [], left)
                continue
            x.XNextEvent(display, event)
            kind = ctypes.c_int.from_buffer(event, 0).value
            if kind != MAP_NOTIFY:
                continue
            # The private server shows nothing else, so the first top-level
            # window mapped without override-redirect (not a menu or tooltip)
            # is the main window.
            override_redirect = ctypes.c_int.from_buffer(event, 48).value
            if not override_redirect:
                mapped = time.monotonic()
        time.sleep(0.3)  # let the first paint happen before reading the peak
        with open(f"/proc/{app.pid}/status") as status:
            hwm_kb = next(int(l.split()[1]) for l in status if l.startswith("VmHWM:"))
        return (mapped - start) * 1000.0, hwm_kb / 1024.0
    finally:
        app.send_signal(signal.SIGTERM)
        try:
            app.wait(5)
        except subprocess.TimeoutExpired:
            app.kill()
            app.wait()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--program", default=os.path.join(here, "..", "build", "default", "app", "veltrano"))
    parser.add_argument("args", nargs="*")
    options = parser.parse_args()

    xvfb, display_name = start_xvfb()
    try:
        env = dict(os.environ, DISPLAY=display_name)
        env.pop("WAYLAND_DISPLAY", None)
        env.pop("QT_QPA_PLATFORM", None)
        x = open_xlib()
        display = x.XOpenDisplay(display_name.encode())
        if not display:
            raise SystemExit(f"cannot open {display_name}")
        root = x.XDefaultRootWindow(display)
        x.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY_MASK)
        x.XFlush(display)
        times, peaks = [], []
        for _ in range(options.runs):
            ms, mb = one_run(x, display, root, [options.program] + options.args, env)
            times.append(ms)
            peaks.append(mb)
        x.XCloseDisplay(display)
    finally:
        xvfb.terminate()
        xvfb.wait()

    print(f"runs: {options.runs}")
    print(f"exec to mapped window: median {statistics.median(times):.1f} ms "
          f"(min {min(times):.1f}, max {max(times):.1f}; target < 150)")
    print(f"peak RSS: median {statistics.median(peaks):.1f} MB "
          f"(min {min(peaks):.1f}, max {max(peaks):.1f}; target < 60)")


if __name__ == "__main__":
    sys.exit(main())
