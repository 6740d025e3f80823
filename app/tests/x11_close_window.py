#!/usr/bin/env python3
"""Asks an X window to close, as a window manager's close button does: a
WM_DELETE_WINDOW client message (xdotool's windowclose destroys the window
instead, which a program never sees as a close request).

usage: x11_close_window.py WINDOW_ID   (on $DISPLAY)
"""
import ctypes
import ctypes.util
import sys

CLIENT_MESSAGE = 33


def main():
    window = int(sys.argv[1], 0)
    x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x.XOpenDisplay(None)
    if not display:
        raise SystemExit("cannot open the display")
    # XClientMessageEvent on 64-bit: type, serial, send_event, display,
    # window, message_type, format, then data.l[5].
    event = ctypes.create_string_buffer(192)
    ctypes.c_int.from_buffer(event, 0).value = CLIENT_MESSAGE
    ctypes.c_int.from_buffer(event, 16).value = 1
    ctypes.c_void_p.from_buffer(event, 24).value = display
    ctypes.c_ulong.from_buffer(event, 32).value = window
    ctypes.c_ulong.from_buffer(event, 40).value = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
    ctypes.c_int.from_buffer(event, 48).value = 32
    ctypes.c_long.from_buffer(event, 56).value = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    ctypes.c_long.from_buffer(event, 64).value = 0  # CurrentTime
    if not x.XSendEvent(display, window, 0, 0, event):
        raise SystemExit("XSendEvent failed")
    x.XFlush(display)
    x.XCloseDisplay(display)


if __name__ == "__main__":
    main()
