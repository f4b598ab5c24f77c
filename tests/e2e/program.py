"""The desktop program as a person meets it: started from a shell, seen on the screen, used with
the keyboard and the mouse. Nothing here reaches inside the program: menus, buttons and the view
are found on screenshots, the way eyes find them, and files are read from the disk.
"""

import os
import signal
import subprocess
import time

from PIL import Image, ImageChops

from xsession import TimeLimit, wait_for


def wait_for_quiet(fn, quiet, timeout):
    """What fn gives once it has given the same for quiet seconds (at most timeout seconds)."""
    last = fn()
    since = time.monotonic()
    end = since + timeout
    while time.monotonic() < end:
        time.sleep(0.02)
        now = fn()
        if now != last:
            last, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet:
            break
    return last

UNTITLED = "Untitled - vellum"
MESSAGE_TITLE = "vellum"
ABOUT_TITLE = "バージョン情報(vellum)"
HELP_TITLE = "vellum Help"
OPEN_TITLE = "Open"
SAVE_TITLE = "Save As"

# What the file dialogs needed beyond typing and Return, over the run: how often the completion
# list had to be closed, a Return given again or a path typed again. run.py prints it.
DIALOG_STATS = {"paths": 0, "lists closed": 0, "returns again": 0, "typed again": 0}

# The menus as the resources give them: position on the bar, mnemonic, items with mnemonics.
MENUS = {
    "file": (0, "f"),
    "view": (1, "v", [("toolbar", "t"), ("status_bar", "s")]),
    "help": (2, "h", [("index", "i"), ("about", "a")]),
}


def file_menu(recent_count):
    """The File menu's rows as a person sees them: (name, mnemonic, enabled)."""
    rows = [("open", "o", True), ("save", "s", True), ("save_as", "a", True)]
    if recent_count == 0:
        rows.append(("no_recent", None, False))  # the grayed place-holder
    rows += [(f"recent{i + 1}", str(i + 1), True) for i in range(recent_count)]
    rows.append(("exit", "x", True))
    return rows


def menu_rows(menu, recent_count=0):
    if menu == "file":
        return file_menu(recent_count)
    return [(name, letter, True) for name, letter in MENUS[menu][2]]


def _background(image):
    return max(image.getcolors(image.width * image.height))[1]


def _ink(image):
    """One byte per pixel: 255 where the pixel stands out from the image's background."""
    bg = Image.new("RGB", image.size, _background(image))
    diff = ImageChops.difference(image, bg).convert("L")
    return diff.point(lambda v: 255 if v > 20 else 0).tobytes()


def ink_rows(image, x0, x1):
    """Bands of rows that hold anything besides the background between columns x0 and x1:
    (top, bottom, widest share of the width that differs)."""
    strip = image.crop((x0, 0, x1, image.height))
    ink = _ink(strip)
    w = strip.width
    bands = []
    for y in range(strip.height):
        count = ink.count(255, y * w, (y + 1) * w)
        if count == 0:
            continue
        share = count / max(1, w)
        if bands and y - bands[-1][1] <= 3:  # an underlined mnemonic stays with its text
            top, _, best = bands[-1]
            bands[-1] = (top, y, max(best, share))
        else:
            bands.append((y, y, share))
    return bands


def ink_columns(image, y0, y1, min_gap=6):
    """Groups of columns of the strip y0..y1 that differ from its background: words on a bar."""
    strip = image.crop((0, y0, image.width, y1)).transpose(Image.Transpose.TRANSPOSE)
    ink = _ink(strip)
    h = strip.width  # after the transpose, a row of bytes is a column of the strip
    groups = []
    for x in range(strip.height):
        if ink.count(255, x * h, (x + 1) * h) == 0:
            continue
        if groups and x - groups[-1][1] <= min_gap:
            groups[-1][1] = x
        else:
            groups.append([x, x])
    return [tuple(g) for g in groups]


def find_image(shot, image, box, transparent=(192, 192, 192)):
    """Top-left corner of the first place in box where every opaque pixel of image matches."""
    sp = shot.load()
    ip = image.load()
    opaque = [(x, y, ip[x, y]) for y in range(image.height) for x in range(image.width)
              if ip[x, y] != transparent]
    if not opaque:
        return None
    fx, fy, first = opaque[0]
    bx0, by0, bx1, by1 = box
    for y in range(by0, min(by1, shot.height) - image.height + 1):
        for x in range(bx0, min(bx1, shot.width) - image.width + 1):
            if sp[x + fx, y + fy] == first and all(sp[x + ox, y + oy] == c for ox, oy, c in opaque):
                return (x, y)
    return None


def toolbar_images(path):
    """The 16 x 15 images of the toolbar bitmap, as RGB, in order."""
    strip = Image.open(path).convert("RGB")
    return [strip.crop((16 * i, 0, 16 * i + 16, 15)) for i in range(strip.width // 16)]


class Program:
    """One run of the desktop program, with its own profile folder and home."""

    def __init__(self, session, exe, profile, home, log_path, toolbar_bitmap):
        self.x = session
        self.exe = exe
        self.profile = profile
        self.home = home
        self.log_path = log_path
        self.images = toolbar_images(toolbar_bitmap)
        self.proc = None
        self.frame = None
        self.log = None
        self._titles = None

    # --- start and stop ------------------------------------------------------------------------

    def start(self):
        env = dict(os.environ)
        env.pop("QT_QPA_PLATFORM", None)  # the X server, not the unit tests' offscreen platform
        runtime = os.path.join(self.home, ".runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env.update(DISPLAY=self.x.display_name, XDG_CONFIG_HOME=self.profile, HOME=self.home,
                   XDG_RUNTIME_DIR=runtime, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        # In a sanitizer build: the system libraries' own leaks are not the program's.
        suppressions = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lsan-suppressions.txt")
        env["LSAN_OPTIONS"] = ":".join(filter(None, [env.get("LSAN_OPTIONS"), "suppressions=" + suppressions]))
        self.log = open(self.log_path, "ab")
        self.proc = subprocess.Popen([self.exe], env=env, cwd=self.home, stdout=self.log,
                                     stderr=subprocess.STDOUT, start_new_session=True)
        frames = wait_for("the main window", lambda: [w for w in self.x.windows(self.proc.pid)
                                                      if w.title() == UNTITLED], 15)
        self.frame = frames[0]
        wait_for("the main window to have the focus", self.has_focus)
        self.settle()
        return self

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, timeout=5):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise TimeLimit("the program did not exit") from None

    def stop(self):
        """Ends the run if it is still going; only the program's own process group is signalled."""
        if self.proc is not None and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        if self.log is not None:
            self.log.close()
            self.log = None

    # --- windows -------------------------------------------------------------------------------

    def title(self):
        return self.frame.title()

    def wait_title(self, title, timeout=5):
        wait_for(f"the title {title!r}", lambda: self.title() == title, timeout)

    def has_focus(self, window=None):
        window = window or self.frame
        return getattr(self.x.focused(), "id", None) == window.id

    def others(self):
        """The program's windows besides the main window and its menus."""
        result = []
        for w in self.x.windows(self.proc.pid):
            if w == self.frame:
                continue
            try:
                if w.xwin.get_attributes().override_redirect:
                    continue
            except Exception:
                continue
            result.append(w)
        return result

    def wait_window(self, title, timeout=5):
        """The window with that title, once it is shown and has the focus."""
        found = wait_for(f"a window titled {title!r} (shown: {[w.title() for w in self.others()]})",
                         lambda: [w for w in self.others() if w.title() == title], timeout)
        window = found[-1]
        wait_for(f"{title!r} to have the focus", lambda: self.has_focus(window), timeout)
        return window

    def wait_closed(self, window, timeout=5):
        wait_for(f"{window!r} to close", lambda: not window.exists(), timeout)
        if not self.others() and not self.has_focus():
            self.x.give_focus(self.frame)
        if not self.others():
            wait_for("the focus back on the main window", self.has_focus, timeout)
            self.settle()  # what the window covered is drawn again

    def expect_nothing_new(self, before_shot, what, quiet=0.15):
        """After a key that should do nothing: no window, same title, same picture."""
        title = self.title()
        time.sleep(quiet)
        self.settle()
        assert not self.others(), f"{what} opened {[w.title() for w in self.others()]}"
        assert not self.x.popups(self.proc.pid), f"{what} opened a menu"
        assert self.title() == title
        assert self.screenshot().tobytes() == before_shot.tobytes(), f"{what} changed the window"

    def settle(self, timeout=2.0, quiet=0.05):
        """Waits until the main window stops changing on screen."""
        last = self.frame.screenshot().tobytes()
        still_since = time.monotonic()
        end = still_since + timeout
        while time.monotonic() < end:
            time.sleep(0.02)
            now = self.frame.screenshot().tobytes()
            if now != last:
                last, still_since = now, time.monotonic()
            elif time.monotonic() - still_since >= quiet:
                return

    def screenshot(self):
        return self.frame.screenshot()

    # --- menus ---------------------------------------------------------------------------------

    def popup(self, timeout=3):
        return wait_for("a menu to open", lambda: self.x.popups(self.proc.pid), timeout)[-1]

    def wait_menus_closed(self, timeout=3):
        wait_for("the menu to close", lambda: not self.x.popups(self.proc.pid), timeout)

    def menu_titles(self):
        """Screen centres of the menu bar's three titles, as seen on the bar."""
        if self._titles is None:
            groups = wait_for("the menu bar's three titles",
                              lambda: (lambda g: len(g) == 3 and g)(ink_columns(self.screenshot(), 3, 16)))
            x, y, _, _ = self.frame.geometry()
            self._titles = [(x + (a + b) // 2, y + 9) for a, b in groups]
        return self._titles

    def menu_row_centres(self, popup):
        """Screen centres of an open menu's rows, separators left out, top to bottom."""
        shot = popup.screenshot()
        px, py, w, _ = popup.geometry()
        rows = []
        for top, bottom, share in ink_rows(shot, 4, w - 4):
            if bottom - top >= 4:
                rows.append((px + 40, py + (top + bottom) // 2))
            elif share <= 0.5:
                raise AssertionError(f"a thin row at {top} in the menu that is not a separator")
        return rows

    def open_menu(self, menu, way):
        """Opens a menu by its mnemonic (Alt+letter), by Alt+F and the arrow keys, or by a click
        on its title; returns the menu's window once it is drawn."""
        index, letter = MENUS[menu][:2]
        if way == "mouse":
            self.x.click(*self.menu_titles()[index])
        elif way == "arrows":
            self.x.key("alt+f")
            for _ in range(index):
                before = self.popup()
                self.x.key("Right")
                wait_for("the next menu", lambda: [w for w in self.x.popups(self.proc.pid) if w != before])
        else:
            self.x.key("alt+" + letter)
        popup = self.popup()
        w = popup.geometry()[2]
        wait_for("the menu to be drawn", lambda: len(ink_rows(popup.screenshot(), 4, w - 4)) > 2)
        return popup

    def choose(self, menu, item, way, recent_count=0):
        """Chooses a menu item by its mnemonic, by the arrow keys and Return, or by a click."""
        rows = menu_rows(menu, recent_count)
        names = [r[0] for r in rows]
        popup = self.open_menu(menu, way)
        if way == "mnemonic":
            self.x.key(rows[names.index(item)][1])
        elif way == "arrows":
            # A menu opened from the keyboard starts on its first item; Down passes grayed ones.
            enabled = [r[0] for r in rows if r[2]]
            for _ in range(enabled.index(item)):
                self.x.key("Down")
            self.x.key("Return")
        else:
            centres = self.menu_row_centres(popup)
            if len(centres) != len(rows):
                raise AssertionError(f"the {menu} menu shows {len(centres)} rows; expected {names}")
            self.x.click(*centres[names.index(item)])
        self.wait_menus_closed()

    def count_menu_rows(self, menu):
        """How many rows the menu shows, opened by a click and closed with Escape."""
        popup = self.open_menu(menu, "mouse")
        count = len(self.menu_row_centres(popup))
        self.x.key("Escape")
        self.wait_menus_closed()
        return count

    # --- the file dialogs ------------------------------------------------------------------------

    def focused_field(self, dialog):
        """Where a text field with the keyboard focus shows in the dialog: a white box one line
        high under the focus colour. (left, top, right, bottom) on the screen, or None while no
        field shows the focus (the dialog is still coming up, or the focus is elsewhere)."""
        geometry = dialog.geometry()
        if geometry is None:
            return None
        x0, y0, w, h = geometry
        shot = dialog.screenshot().convert("RGB")
        px = shot.load()

        def white(x, y):
            return px[x, y] == (255, 255, 255)

        def focus_colour(x, y):
            r, g, b = px[x, y]
            return b >= 120 and b - r >= 60

        mid = w // 2
        for y in range(h // 3, h - 2):
            if not white(mid, y) or not focus_colour(mid, y - 1) and not focus_colour(mid, y - 2):
                continue
            left, right = mid, mid
            while left > 0 and white(left - 1, y):
                left -= 1
            while right < w - 1 and white(right + 1, y):
                right += 1
            bottom = y
            while bottom < h - 1 and white(mid, bottom + 1):
                bottom += 1
            if right - left >= w // 4 and 8 <= bottom - y + 1 <= 40:
                return (x0 + left, y0 + y, x0 + right, y0 + bottom)
        return None

    def field_text(self):
        """The text of the field with the focus, as a person reads it: selected whole (Ctrl+A), and
        taken from the selection a middle-button paste would give. None when no field answers."""
        self.x.forget_selection()
        self.x.key("ctrl+a")
        return self.x.selection(timeout=5)

    def enter_path(self, dialog, path, replace=False, attempts=3):
        """Types a path into a file dialog's name field and confirms it with Return, as a person
        does: first the cursor is in the field; then what was typed is what the field shows; the
        completion list, which takes Return while it is open, is closed by a click into the field;
        and when Return still left the dialog open because the list came up just before it, the
        same again."""
        field = wait_for("the dialog's name field to have the focus", lambda: self.focused_field(dialog), 10)
        self._field = field
        end_of_field = ((field[0] + field[2] * 3) // 4, (field[1] + field[3]) // 2)
        seen = []
        DIALOG_STATS["paths"] += 1
        for attempt in range(attempts):
            text = None
            if replace or attempt:
                text = self.field_text()
            if text != path:
                if attempt:
                    DIALOG_STATS["typed again"] += 1
                if text is None and (replace or attempt):
                    self.x.click(*end_of_field)  # the field had lost the focus: give it back
                    self.x.key("ctrl+a")
                if attempt:
                    self._type_carefully(path)
                else:
                    self.x.type(path)  # replaces what Ctrl+A selected
                text = self.field_text()
            seen.append(text)
            if text != path:
                continue
            self._close_completion(end_of_field)
            self.x.key("Return")
            if self._dialog_took_return(dialog):
                return
            DIALOG_STATS["returns again"] += 1
        raise AssertionError(f"the file dialog did not take {path!r}; its field showed {seen}")

    def _type_carefully(self, path):
        """Types a path a folder at a time, letting the dialog list each folder before the next
        part comes: how a person types after the fast way went wrong."""
        parts = path.split("/")
        for i, part in enumerate(parts):
            self.x.type(part + ("/" if i < len(parts) - 1 else ""))
            wait_for_quiet(lambda: (self.completion_list() is not None, self.x.focused()), 0.2, 2.0)

    def completion_list(self):
        """The name field's completion list while it is open: a popup hung under the field (a
        tooltip is not one)."""
        left, _, _, bottom = self._field
        for popup in self.x.popups(self.proc.pid):
            g = popup.geometry()
            if g is not None and abs(g[0] - left) <= 4 and 0 <= g[1] - bottom <= 8:
                return popup
        return None

    def _close_completion(self, end_of_field):
        for _ in range(3):
            if not wait_for_quiet(self.completion_list, 0.3, 2.0):
                return
            DIALOG_STATS["lists closed"] += 1
            self.x.click(*end_of_field)  # outside the list: it closes, the text stays
            wait_for("the completion list to close", lambda: not self.completion_list(), 5)

    def _dialog_took_return(self, dialog):
        """True once the dialog has closed; False when it is still open after the program has
        handled the Return (the completion list, shown just before, took it)."""
        end = time.monotonic() + 15
        look_again = time.monotonic() + 3
        while time.monotonic() < end:
            if not dialog.exists():
                return True
            if self.completion_list():
                return False  # a list open under the field takes Return
            if time.monotonic() >= look_again:
                # Still open: a round trip through the program's event loop tells whether it has
                # handled the Return yet (the field still owns the selection Ctrl+A made).
                if self.x.selection(timeout=2) is not None:
                    return not wait_for_quiet(dialog.exists, 1.0, 3.0)
                look_again = time.monotonic() + 3
            time.sleep(0.02)
        raise TimeLimit("gave up waiting for the file dialog to close after 15.0 s")

    # --- the toolbar and the bars --------------------------------------------------------------

    def toolbar_button(self, index):
        """Screen centre of toolbar image index (0 Open, 1 Save As, 2 Help), or None if not shown."""
        shot = self.screenshot()
        image = self.images[index]
        at = find_image(shot, image, (0, 0, shot.width, min(shot.height, 90)))
        if at is None:
            return None
        x0, y0, _, _ = self.frame.geometry()
        return (x0 + at[0] + image.width // 2, y0 + at[1] + image.height // 2)

    def toolbar_shown(self):
        return self.toolbar_button(0) is not None

    def click_button(self, window, centre_row=(6, 36), things=3):
        """Clicks the rightmost of the things in the top strip of a dialog: its button."""
        groups = wait_for(f"{window!r} to be drawn",
                          lambda: (lambda g: len(g) >= things and g)(ink_columns(window.screenshot(), *centre_row)))
        a, b = groups[-1]
        x, y, _, _ = window.geometry()
        self.x.click(x + (a + b) // 2, y + sum(centre_row) // 2)

    def view_area(self, expected):
        """Where the view is in the main window, found by its content: the first row that shows
        the expected picture's top row, down to the last row that keeps matching. expected: RGB
        image of the view at least as tall as the window. Returns (top, bottom) rows, or None."""
        shot = self.screenshot()
        w = shot.width
        want = expected.crop((0, 0, w, expected.height))
        sp = shot.tobytes()
        ep = want.tobytes()
        row = 3 * w
        first = ep[0:row]
        for top in range(0, shot.height):
            if sp[top * row:(top + 1) * row] != first:
                continue
            bottom = top
            while bottom < shot.height and bottom - top < want.height and \
                    sp[bottom * row:(bottom + 1) * row] == ep[(bottom - top) * row:(bottom - top + 1) * row]:
                bottom += 1
            if bottom - top > 8:
                return (top, bottom)
        return None
