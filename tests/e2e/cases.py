"""The window cases: every menu item, toolbar button and key of the accelerator table, in every
state a user meets, by every way a person chooses them; the picture on the screen against the
program's own headless render; the recent-file list across restarts.
"""

import os
import shutil

from program import (ABOUT_TITLE, HELP_TITLE, MESSAGE_TITLE, OPEN_TITLE, SAVE_TITLE, UNTITLED,
                     file_menu)
from xsession import wait_for

WAYS = ("mnemonic", "arrows", "mouse")
# The keys of the accelerator table that have no handler: they must do nothing.
IDLE_KEYS = ("ctrl+c", "ctrl+v", "alt+BackSpace", "shift+Delete", "F6", "shift+F6", "ctrl+Insert",
             "shift+Insert", "ctrl+x", "ctrl+z")
# The extension each way saves to when it completes a Save As.
SAVE_AS_EXT = {"mnemonic": ".bmp", "arrows": ".tim", "mouse": ".fnt", "key": ".bmp"}

CASES = []


def case(name):
    def register(fn):
        CASES.append((name, fn))
        return fn
    return register


class Model:
    """What the program should be holding and showing, kept beside it as the case goes."""

    def __init__(self, recent=()):
        self.recent = list(recent)
        self.title = UNTITLED
        self.data = None  # a file whose reading gives the data held now
        self.path = None  # where File/Save writes

    def opened(self, path):
        self.recent = ([path] + [p for p in self.recent if p != path])[:4]
        self.title = os.path.basename(path) + " - vellum"
        self.data = path
        self.path = path


# --- steps a person takes, with their effects checked ---------------------------------------------

def open_file(run, p, model, path, ok=True):
    """File/Open through Ctrl+O and the file dialog, the path typed."""
    p.x.key("ctrl+o")
    dialog = p.wait_window(OPEN_TITLE)
    p.enter_path(dialog, path)
    settle_open(run, p, model, path, ok, dialog)


def settle_open(run, p, model, path, ok, dialog=None):
    if dialog is not None:
        wait_for("the file dialog to close", lambda: not dialog.exists())
    if ok:
        model.opened(path)
        p.wait_title(model.title)
        if dialog is not None:
            p.wait_closed(dialog)
    else:
        box = p.wait_window(MESSAGE_TITLE)
        p.x.key("Return")
        p.wait_closed(box)
        assert p.title() == model.title, "a failed open changed the title"
    p.settle()


def type_save_path(p, path):
    dialog = p.wait_window(SAVE_TITLE)
    p.enter_path(dialog, path, replace=True)
    wait_for("the file dialog to close", lambda: not dialog.exists())
    return dialog


def expect_saved(run, p, model, path, expected):
    if expected is None:
        box = p.wait_window(MESSAGE_TITLE)  # "no file loaded."
        p.x.key("Return")
        p.wait_closed(box)
        assert not os.path.exists(path), "a save with nothing loaded created its file"
        return
    wait_for(f"{path} to hold the program's own output",
             lambda: os.path.exists(path) and read(path) == expected)
    model.opened(path)
    p.wait_title(model.title)
    if not p.others() and not p.has_focus():
        p.x.give_focus(p.frame)
    wait_for("the focus back on the main window", p.has_focus)
    p.settle()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def profile_list(profile):
    """The recent-file list as the program left it on disk."""
    path = os.path.join(profile, "vellum", "vellum.conf")
    if not os.path.exists(path):
        return []
    entries = {}
    for line in open(path, encoding="utf-8"):
        line = line.strip()
        if line.startswith("File") and "=" in line:
            key, value = line.split("=", 1)
            entries[int(key[4:])] = value
    return [entries[k] for k in sorted(entries)]


def check_profile(profile, model):
    listed = profile_list(profile)
    assert listed == model.recent, f"the profile lists {listed}, expected {model.recent}"


def exit_by(p, way, model):
    if way == "key":
        p.x.close_window(p.frame)  # no key quits: the window's close button
    else:
        p.choose("file", "exit", way, len(model.recent))
    status = p.wait_exit()
    assert status == 0, f"the program exited with {status}"


# --- the probes: commands that leave the state as it was ------------------------------------------

def probe_dialog(p, title, model):
    dialog = p.wait_window(title)
    p.x.key("Escape")
    p.wait_closed(dialog)
    assert p.title() == model.title


def probe_save(run, p, model, choose):
    """File/Save: writes the document's own file, or asks for a name when it has none."""
    if model.path is None:
        choose()
        probe_dialog(p, SAVE_TITLE, model)
        return
    expected = run.reference(model.data, os.path.splitext(model.path)[1])
    os.utime(model.path, (0, 0))
    choose()
    wait_for(f"{model.path} to be written again",
             lambda: os.stat(model.path).st_mtime != 0 and read(model.path) == expected)
    assert p.title() == model.title
    assert not p.others()


def probe_bars(run, p, model, way):
    """View/ToolBar and View/StatusBar hide their bar and show it again; the view takes the room."""
    expected = run.render(model.data, p.frame.geometry()[2])
    height = p.frame.geometry()[3]
    shown = wait_for("the view", lambda: p.view_area(expected))
    assert p.toolbar_shown(), "the toolbar is not shown"
    assert shown[1] < height, "the status bar is not shown"

    def view_becomes(what, test):
        wait_for(what, lambda: (lambda area: area is not None and test(area))(p.view_area(expected)))

    p.choose("view", "toolbar", way)
    wait_for("the toolbar to go", lambda: not p.toolbar_shown())
    view_becomes("the view to grow upwards", lambda a: a[0] < shown[0] and a[1] == shown[1])
    p.choose("view", "toolbar", way)
    wait_for("the toolbar to come back", p.toolbar_shown)
    view_becomes("the view back in its place", lambda a: a == shown)

    p.choose("view", "status_bar", way)
    view_becomes("the view to grow downwards", lambda a: a[0] == shown[0] and a[1] == height)
    p.choose("view", "status_bar", way)
    view_becomes("the view back in its place", lambda a: a == shown)


def probe_help(p, model, choose):
    choose()
    window = p.wait_window(HELP_TITLE)
    p.x.close_window(window)
    p.wait_closed(window)
    assert p.title() == model.title


def probe_about(p, model, way):
    p.choose("help", "about", way)
    box = p.wait_window(ABOUT_TITLE)
    if way == "mouse":
        p.click_button(box)  # OK
    elif way == "arrows":
        p.x.key("Return")    # the default button
    else:
        p.x.key("Escape")
    p.wait_closed(box)
    assert p.title() == model.title


# --- the states ------------------------------------------------------------------------------

def copy_sample(run, home, name, as_name=None):
    target = os.path.join(home, as_name or name)
    shutil.copyfile(os.path.join(run.samples, name), target)
    return target


def make_bad(home, name="bad.tim"):
    path = os.path.join(home, name)
    with open(path, "wb") as f:
        f.write(b"not a picture of any kind\n")
    return path


STATES = {}


def state(name):
    def register(fn):
        STATES[name] = fn
        return fn
    return register


@state("fresh")
def state_fresh(run, home, profile):
    return Model(), None


@state("opened")
def state_opened(run, home, profile):
    def setup(p, model):
        open_file(run, p, model, copy_sample(run, home, "picture.tim"))
    return Model(), setup


@state("failed_open")
def state_failed_open(run, home, profile):
    def setup(p, model):
        open_file(run, p, model, copy_sample(run, home, "picture.tim"))
        open_file(run, p, model, make_bad(home), ok=False)
        check_profile(profile, model)  # a file that did not open is not listed
    return Model(), setup


@state("saved_as")
def state_saved_as(run, home, profile):
    def setup(p, model):
        source = copy_sample(run, home, "picture.bmp")
        open_file(run, p, model, source)
        target = os.path.join(home, "saved.tim")
        expected = run.reference(model.data, ".tim")
        p.choose("file", "save_as", "mnemonic", len(model.recent))
        type_save_path(p, target)
        expect_saved(run, p, model, target, expected)
    return Model(), setup


def prepared_profile(run, name, steps):
    """A profile left by an earlier run of the program, made once and copied for each case."""
    if name not in run.profiles:
        home = run.case_dir("profile-" + name)
        profile = os.path.join(home, "config")
        p = run.program(home, profile)
        model = Model()
        steps(p, model, home)
        exit_by(p, "mnemonic", model)
        check_profile(profile, model)
        run.profiles[name] = (profile, home, model.recent)
    return run.profiles[name]


def state_from_profile(run, home, profile, name, steps, after=None):
    source, source_home, recent = prepared_profile(run, name, steps)
    shutil.copytree(source, profile)
    if after:
        after(source_home)
    return Model(recent), None


@state("restarted")
def state_restarted(run, home, profile):
    def steps(p, model, where):
        for sample in ("picture.tim", "font256.fnt"):
            open_file(run, p, model, copy_sample(run, where, sample))
    return state_from_profile(run, home, profile, "restarted", steps)


@state("four_entries")
def state_four(run, home, profile):
    def steps(p, model, where):
        for i, sample in enumerate(("picture.tim", "picture.bmp", "font256.fnt", "font16.fnt", "picture.tim")):
            open_file(run, p, model, copy_sample(run, where, sample, f"{i}-{sample}"))
        assert len(model.recent) == 4
    return state_from_profile(run, home, profile, "four_entries", steps)


@state("entry_gone")
def state_gone(run, home, profile):
    def steps(p, model, where):
        open_file(run, p, model, copy_sample(run, where, "picture.bmp", "gone.bmp"))
        open_file(run, p, model, copy_sample(run, where, "picture.tim"))

    def remove(where):
        gone = os.path.join(where, "gone.bmp")
        if os.path.exists(gone):
            os.remove(gone)
    return state_from_profile(run, home, profile, "entry_gone", steps, remove)


# --- the matrix ------------------------------------------------------------------------------

def session(run, state_name, way):
    """One run of the program in a state: every command by one way, then the commands that change
    the state, and Exit."""
    home = run.case_dir(f"{state_name}-{way}")
    profile = os.path.join(home, "config")
    model, setup = STATES[state_name](run, home, profile)
    p = run.program(home, profile)
    if setup:
        setup(p, model)
    assert p.title() == model.title

    if way == "key":
        key_session(run, p, model, home)
        exit_by(p, way, model)
        check_profile(profile, model)
        return

    n = len(model.recent)
    p.choose("file", "open", way, n)
    probe_dialog(p, OPEN_TITLE, model)
    probe_save(run, p, model, lambda: p.choose("file", "save", way, n))
    p.choose("file", "save_as", way, n)
    probe_dialog(p, SAVE_TITLE, model)
    probe_bars(run, p, model, way)
    probe_help(p, model, lambda: p.choose("help", "index", way))
    probe_about(p, model, way)

    if model.recent:
        # The oldest entry: the one whose file is gone where there is one.
        entry = model.recent[-1]
        p.choose("file", f"recent{len(model.recent)}", way, n)
        if os.path.exists(entry):
            settle_open(run, p, model, entry, True)
        else:
            settle_open(run, p, model, entry, False)
            model.recent.remove(entry)
        check_profile(profile, model)

    target = os.path.join(home, f"saved-by-{way}{SAVE_AS_EXT[way]}")
    expected = run.reference(model.data, SAVE_AS_EXT[way]) if model.data else None
    p.choose("file", "save_as", way, len(model.recent))
    type_save_path(p, target)
    expect_saved(run, p, model, target, expected)

    exit_by(p, way, model)
    check_profile(profile, model)


def key_session(run, p, model, home):
    """Every key of the accelerator table and every toolbar button."""
    p.x.key("ctrl+o")
    probe_dialog(p, OPEN_TITLE, model)
    probe_save(run, p, model, lambda: p.x.key("ctrl+s"))
    probe_help(p, model, lambda: p.x.key("F1"))

    for index, title in ((0, OPEN_TITLE), (1, SAVE_TITLE)):
        p.x.click(*wait_for(f"toolbar button {index}", lambda: p.toolbar_button(index)))
        probe_dialog(p, title, model)
    centre = wait_for("the toolbar's Help button", lambda: p.toolbar_button(2))
    probe_help(p, model, lambda: p.x.click(*centre))

    # The pointer away from the buttons, so no button is drawn raised while the keys are pressed.
    x, y, w, h = p.frame.geometry()
    p.x.move(x + w // 2, y + h // 2)
    p.settle()
    before = p.screenshot()
    for combo in IDLE_KEYS:
        p.x.key(combo)
    p.expect_nothing_new(before, "the keys without a command")

    # File/New keeps the data but forgets the name: Save then asks for one.
    before = p.screenshot()
    p.x.key("ctrl+n")
    p.wait_title(UNTITLED)
    model.title, model.path = UNTITLED, None
    p.settle()
    assert p.screenshot().tobytes() == before.tobytes(), "File/New changed what the window shows"
    probe_save(run, p, model, lambda: p.x.key("ctrl+s"))


for _state in ("fresh", "opened", "failed_open", "saved_as", "restarted", "four_entries", "entry_gone"):
    for _way in WAYS + ("key",):
        case(f"menu/{_state}/{_way}")(lambda run, s=_state, w=_way: session(run, s, w))


# --- the picture -----------------------------------------------------------------------------

@case("picture/view-matches-the-headless-render")
def picture(run):
    home = run.case_dir("picture")
    p = run.program(home, os.path.join(home, "config"))
    model = Model()
    x, y, width, height = p.frame.geometry()
    check_view(run, p, None, width, height)
    for sample in ("picture.tim", "picture.bmp", "font256.fnt", "font16.fnt"):
        open_file(run, p, model, copy_sample(run, home, sample))
        top, bottom = check_view(run, p, sample, width, height)
        # Larger by a drag of the window's corner, then back.
        p.x.resize(p.frame, width + 137, height + 91)
        wait_for("the new size", lambda: p.frame.geometry()[2:] == (width + 137, height + 91))
        p.settle()
        top2, bottom2 = check_view(run, p, sample, width + 137, height + 91)
        assert (top2, bottom2 - top2) == (top, bottom - top + 91), "the view did not take the new height"
        p.x.resize(p.frame, width, height)
        wait_for("the old size", lambda: p.frame.geometry()[2:] == (width, height))
        p.settle()
        assert check_view(run, p, sample, width, height) == (top, bottom)
    exit_by(p, "mnemonic", model)


def check_view(run, p, sample, width, height):
    data = os.path.join(run.samples, sample) if sample else None
    expected = run.render(data, width)
    area = wait_for(f"the view of {sample} as the headless render has it", lambda: p.view_area(expected))
    top, bottom = area
    # Everything between the bars is the view, every pixel as the render has it.
    assert top < 70, f"the view starts at row {top}"
    assert height - bottom < 40, f"the view stops {height - bottom} rows above the window's bottom"
    assert bottom - top > 200
    return area


# --- the recent-file list across restarts ------------------------------------------------------

@case("recent/across-restarts")
def recent_across_restarts(run):
    home = run.case_dir("recent")
    profile = os.path.join(home, "config")
    files = [copy_sample(run, home, s, f"{i}-{s}") for i, s in
             enumerate(("picture.tim", "picture.bmp", "font256.fnt", "font16.fnt", "picture.tim"))]
    model = Model()

    p = run.program(home, profile)
    for path in files:
        open_file(run, p, model, path)
    exit_by(p, "mouse", model)
    assert profile_list(profile) == files[:0:-1], "the last four opened, newest first"

    # The oldest entry, chosen by its number after a restart, comes to the top.
    p = run.program(home, profile)
    model = Model(profile_list(profile))
    assert p.count_menu_rows("file") == len(file_menu(4))
    p.choose("file", "recent4", "mnemonic", 4)
    settle_open(run, p, model, files[1], True)
    exit_by(p, "arrows", model)
    assert profile_list(profile) == [files[1], files[4], files[3], files[2]]

    # A file that is gone leaves the list; one that exists but does not open stays.
    os.remove(files[3])
    with open(files[4], "wb") as f:
        f.write(b"\x10 but not a TIM")
    p = run.program(home, profile)
    model = Model(profile_list(profile))
    p.choose("file", "recent3", "mouse", 4)
    settle_open(run, p, model, files[3], False)
    model.recent.remove(files[3])
    check_profile(profile, model)
    p.choose("file", "recent2", "mnemonic", 3)
    settle_open(run, p, model, files[4], False)
    check_profile(profile, model)
    exit_by(p, "mnemonic", model)

    p = run.program(home, profile)
    assert p.count_menu_rows("file") == len(file_menu(3))
    model = Model(profile_list(profile))
    assert model.recent == [files[1], files[4], files[2]]
    exit_by(p, "mouse", model)


# --- the toolbar's tooltips and prompts --------------------------------------------------------

@case("toolbar/hover-shows-tooltip-and-prompt")
def toolbar_hover(run):
    home = run.case_dir("hover")
    p = run.program(home, os.path.join(home, "config"))
    x, y, w, h = p.frame.geometry()
    away = (x + w // 2, y + h // 2)

    def status_bar():
        shot = p.screenshot()
        return shot.crop((0, shot.height - 18, shot.width, shot.height)).tobytes()

    p.x.move(*away)
    p.settle()
    idle = status_bar()
    prompts = []
    for index in range(3):
        p.x.move(*wait_for(f"toolbar button {index}", lambda: p.toolbar_button(index)))
        wait_for("the button's tooltip", lambda: p.x.popups(p.proc.pid), 3)
        prompt = wait_for("the button's prompt in the status bar", lambda: (lambda s: s != idle and s)(status_bar()))
        prompts.append(prompt)
        p.x.move(*away)
        wait_for("the tooltip to go", lambda: not p.x.popups(p.proc.pid), 3)
        wait_for("the idle text back", lambda: status_bar() == idle)
    assert len(set(prompts)) == 3, "two buttons show the same prompt"
    exit_by(p, "mnemonic", Model())
