"""One X server for a test run, and what a person does and sees on it.

Input goes through the XTEST extension, so the program gets the same key and button events a
keyboard and a mouse would give, through the X server. What comes back is only what a person could
see or get: window titles, their places and sizes, screenshots, and the text a middle-button paste
would give after a field's text was selected.

No window manager runs: the ones tried take the pointer for a moment on every click and the program
never gets XTEST button presses. The program gives its own windows the focus, as Qt does where no
window manager does it; the two things a window manager would still do, closing a window from its
title bar, resizing it by its edge, and giving the focus back to the main window when a window
above it closes, are done here as a window manager does them: a WM_DELETE_WINDOW message, a
ConfigureWindow request and a SetInputFocus request.
"""

import os
import select
import shutil
import subprocess
import time

from PIL import Image
from Xlib import X, XK, Xatom, display as xdisplay, error as xerror
from Xlib.ext import xtest


class TimeLimit(AssertionError):
    """A wait ran out of time; the message says what was awaited."""


def wait_for(what, fn, timeout=5.0, interval=0.02):
    """Polls fn until it returns something true, and returns that; raises TimeLimit otherwise."""
    end = time.monotonic() + timeout
    while True:
        value = fn()
        if value:
            return value
        if time.monotonic() >= end:
            raise TimeLimit(f"gave up waiting for {what} after {timeout:.1f} s")
        time.sleep(interval)


class Window:
    """A top-level window as the window manager shows it: its title, place and size."""

    def __init__(self, session, xwin):
        self.session = session
        self.xwin = xwin
        self.id = xwin.id

    def __eq__(self, other):
        return isinstance(other, Window) and other.id == self.id

    def __hash__(self):
        return self.id

    def __repr__(self):
        return f"Window(0x{self.id:x}, {self.title()!r})"

    def title(self):
        return self.session.title_of(self.xwin)

    def geometry(self):
        """(x, y, width, height) of the window's own area on the screen, frame excluded."""
        d = self.session.display
        try:
            g = self.xwin.get_geometry()
            pos = self.xwin.translate_coords(d.screen().root, 0, 0)
        except xerror.XError:
            return None
        return (-pos.x, -pos.y, g.width, g.height)

    def exists(self):
        try:
            attrs = self.xwin.get_attributes()
        except xerror.XError:
            return False
        return attrs.map_state == X.IsViewable

    def screenshot(self):
        x, y, w, h = self.geometry()
        return self.session.screenshot((x, y, w, h))


class XSession:
    """Xvfb on a free display number, and XTEST input."""

    def __init__(self, width=1280, height=1024, visible=None):
        self.width = width
        self.height = height
        self.pause = 0.0  # seconds after each key or click, for a person watching
        self.processes = []
        if visible:
            # Watching: a display the person already has (see the README), no server of ours.
            self.display_name = visible
        else:
            self.display_name = self._start_xvfb()
        self.display = xdisplay.Display(self.display_name)
        if not self.display.has_extension("XTEST"):
            raise RuntimeError("the X server has no XTEST extension")
        self.root = self.display.screen().root
        self._atoms = {}
        self._keymap = {}
        self._load_keymap()

    # --- the server and the window manager -------------------------------------------------

    def _start_xvfb(self):
        if shutil.which("Xvfb") is None:
            raise RuntimeError("Xvfb is missing (Debian package xvfb)")
        read_fd, write_fd = os.pipe()
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{self.width}x{self.height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        self.processes.append(proc)
        number = b""
        end = time.monotonic() + 10
        while not number.endswith(b"\n"):
            left = end - time.monotonic()
            if left <= 0 or not select.select([read_fd], [], [], left)[0]:
                os.close(read_fd)
                raise RuntimeError("Xvfb did not say its display number")
            chunk = os.read(read_fd, 16)
            if not chunk:
                os.close(read_fd)
                raise RuntimeError("Xvfb stopped before it said its display number")
            number += chunk
        os.close(read_fd)
        return ":" + number.decode().strip()

    def close(self):
        try:
            self.display.close()
        except Exception:
            pass
        for proc in reversed(self.processes):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        self.processes = []

    # --- reading back ----------------------------------------------------------------------

    def atom(self, name):
        if name not in self._atoms:
            self._atoms[name] = self.display.intern_atom(name)
        return self._atoms[name]

    def title_of(self, xwin):
        try:
            prop = xwin.get_full_property(self.atom("_NET_WM_NAME"), self.atom("UTF8_STRING"))
            if prop is not None:
                value = prop.value
                return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)
            prop = xwin.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
            if prop is not None:
                value = prop.value
                return value.decode("latin-1") if isinstance(value, bytes) else str(value)
        except xerror.XError:
            pass
        return None

    def pid_of(self, xwin):
        try:
            prop = xwin.get_full_property(self.atom("_NET_WM_PID"), Xatom.CARDINAL)
        except xerror.XError:
            return None
        return int(prop.value[0]) if prop is not None and len(prop.value) else None

    def windows(self, pid=None):
        """The viewable top-level windows, optionally of one process, bottom to top."""
        found = []
        try:
            children = self.root.query_tree().children
        except xerror.XError:
            return found
        for child in children:
            try:
                if child.get_attributes().map_state != X.IsViewable:
                    continue
            except xerror.XError:
                continue
            if pid is None or self.pid_of(child) == pid:
                found.append(Window(self, child))
        return found

    def popups(self, pid=None):
        """Viewable override-redirect windows (menus, tooltips) of a process."""
        result = []
        for w in self.windows(pid):
            try:
                if w.xwin.get_attributes().override_redirect:
                    result.append(w)
            except xerror.XError:
                pass
        return result

    def screenshot(self, box=None):
        x, y, w, h = box if box else (0, 0, self.width, self.height)
        x0, y0 = max(0, x), max(0, y)
        x1, y1 = min(self.width, x + w), min(self.height, y + h)
        if x1 <= x0 or y1 <= y0:
            return Image.new("RGB", (max(w, 1), max(h, 1)))
        raw = self.root.get_image(x0, y0, x1 - x0, y1 - y0, X.ZPixmap, 0xFFFFFFFF)
        image = Image.frombytes("RGB", (x1 - x0, y1 - y0), raw.data, "raw", "BGRX")
        if (x0, y0, x1, y1) == (x, y, x + w, y + h):
            return image
        whole = Image.new("RGB", (w, h))
        whole.paste(image, (x0 - x, y0 - y))
        return whole

    # --- the window manager's part ---------------------------------------------------------------

    def close_window(self, window):
        """What a title bar's close button sends."""
        from Xlib.protocol import event
        protocols = self.atom("WM_PROTOCOLS")
        message = event.ClientMessage(window=window.xwin, client_type=protocols,
                                      data=(32, [self.atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        window.xwin.send_event(message)
        self.display.sync()

    def give_focus(self, window):
        """What a window manager does when the window above closes: the one below gets the focus."""
        window.xwin.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.display.sync()

    def resize(self, window, width, height):
        """What dragging a window's corner ends with."""
        window.xwin.configure(width=width, height=height)
        self.display.sync()

    def focused(self):
        return self.display.get_input_focus().focus

    # --- the primary selection: what a person would paste with the middle button -------------

    def _own_window(self):
        if getattr(self, "_window", None) is None:
            self._window = self.root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
            self.display.sync()
        return self._window

    def forget_selection(self):
        """Takes the primary selection for the session itself, so the next one a program makes is
        known for new."""
        self._own_window().set_selection_owner(Xatom.PRIMARY, X.CurrentTime)
        self.display.sync()

    def selection(self, timeout=5.0):
        """The text of the primary selection once a program has made one since forget_selection,
        or None when none did in time. Asking for it is also a round trip through the owner's event
        loop: the owner has handled every input sent before the answer comes."""
        me = self._own_window()
        end = time.monotonic() + timeout
        while True:
            owner = self.display.get_selection_owner(Xatom.PRIMARY)
            if owner not in (X.NONE, 0) and getattr(owner, "id", owner) != me.id:
                break
            if time.monotonic() >= end:
                return None
            time.sleep(0.02)
        # A property of its own for each request: an answer to an earlier one that gave up
        # waiting may still come, and must not be read for this one.
        self._asked = (getattr(self, "_asked", 0) + 1) % 16
        prop = self.atom(f"VELLUM_E2E_SELECTION_{self._asked}")
        me.convert_selection(Xatom.PRIMARY, self.atom("UTF8_STRING"), prop, X.CurrentTime)
        self.display.flush()
        while time.monotonic() < end:
            while self.display.pending_events():
                event = self.display.next_event()
                if event.type != X.SelectionNotify or event.requestor.id != me.id:
                    continue
                if event.property == X.NONE:
                    return None  # refused: no text (this answer or a stale one, both say none)
                if event.property != prop:
                    continue
                try:
                    value = me.get_full_property(prop, X.AnyPropertyType)
                    me.delete_property(prop)
                except xerror.XError:
                    return None
                return value.value.decode("utf-8", "replace") if value else ""
            time.sleep(0.01)
        return None

    # --- input -----------------------------------------------------------------------------

    def _load_keymap(self):
        first = self.display.display.info.min_keycode
        count = self.display.display.info.max_keycode - first + 1
        for offset, syms in enumerate(self.display.get_keyboard_mapping(first, count)):
            for level, sym in enumerate(syms[:2]):
                if sym and sym not in self._keymap:
                    self._keymap[sym] = (first + offset, level == 1)

    def _code(self, name):
        sym = XK.string_to_keysym(name)
        if sym == 0 and len(name) == 1:
            sym = ord(name)
        if sym not in self._keymap:
            raise ValueError(f"no key gives {name!r} on this keyboard")
        return self._keymap[sym]

    def _fake(self, kind, detail):
        xtest.fake_input(self.display, kind, detail)

    def _watch(self):
        if self.pause:
            time.sleep(self.pause)

    def key(self, combo):
        """Presses and releases a combination such as "ctrl+o", "alt+f", "Return", "shift+F6"."""
        names = combo.split("+")
        modifiers = {"ctrl": "Control_L", "shift": "Shift_L", "alt": "Alt_L"}
        held = [self._code(modifiers[m.lower()])[0] for m in names[:-1]]
        code, shifted = self._code(names[-1])
        if shifted and self._code("Shift_L")[0] not in held:
            held.append(self._code("Shift_L")[0])
        for c in held:
            self._fake(X.KeyPress, c)
        self._fake(X.KeyPress, code)
        self._fake(X.KeyRelease, code)
        for c in reversed(held):
            self._fake(X.KeyRelease, c)
        self.display.sync()
        self._watch()

    def type(self, text):
        for ch in text:
            name = {" ": "space", "\n": "Return", "/": "slash", ".": "period", "-": "minus",
                    "_": "underscore", "~": "asciitilde", "&": "ampersand", "@": "at"}.get(ch, ch)
            code, shifted = self._code(name)
            shift = self._code("Shift_L")[0]
            if shifted:
                self._fake(X.KeyPress, shift)
            self._fake(X.KeyPress, code)
            self._fake(X.KeyRelease, code)
            if shifted:
                self._fake(X.KeyRelease, shift)
        self.display.sync()
        self._watch()

    def move(self, x, y):
        xtest.fake_input(self.display, X.MotionNotify, x=int(x), y=int(y))
        self.display.sync()

    def click(self, x, y, button=1):
        self.move(x, y)
        time.sleep(0.01)  # a hand arrives before it presses
        self._fake(X.ButtonPress, button)
        self._fake(X.ButtonRelease, button)
        self.display.sync()
        self._watch()

    def drag(self, start, end, button=1, modifiers=(), steps=8):
        mods = [self._code({"alt": "Alt_L", "ctrl": "Control_L", "shift": "Shift_L"}[m])[0]
                for m in modifiers]
        self.move(*start)
        for c in mods:
            self._fake(X.KeyPress, c)
        self._fake(X.ButtonPress, button)
        self.display.sync()
        for i in range(1, steps + 1):
            time.sleep(0.02)
            self.move(start[0] + (end[0] - start[0]) * i / steps, start[1] + (end[1] - start[1]) * i / steps)
        time.sleep(0.05)
        self._fake(X.ButtonRelease, button)
        for c in reversed(mods):
            self._fake(X.KeyRelease, c)
        self.display.sync()
