"""The end-to-end scenarios: Cubrix.scr driven from outside, as a user and the system drive it."""

import os
import re
import shutil
import subprocess
import time
import traceback

from harness import SCREEN_HEIGHT, SCREEN_WIDTH, Failure, check, colours, poll

SAVER = "C:\\cubrix\\Cubrix.scr"
CENTRE = (SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)
START_TIMEOUT = 15
END_TIMEOUT = 10
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
FRAME_PERIOD_MS = 50
TIMES_LABELS = ("Started", "Ended", "Total Frames", "Total Seconds", "Frames per Second")
PREVIEW_SIZE = (320, 240)
NO_SUCH_WINDOW = 1234567
WS_EX_TOPMOST = 0x8
FULL_SCREEN_STYLE = 0x96000000  # popup, visible, clipping siblings and children
# A screenshot and the portable build's best frame: the portable rasterizer follows the system's
# fill and line rules, so the two agree to the pixel. The slack is far below what one rule
# differing costs (about 0.1 % of the screen, 0.5 % of what is drawn).
MIN_EQUAL_SHARE = 0.9999
MIN_OBJECT_SHARE = 0.999

SCENARIOS = []


def scenario(function):
    SCENARIOS.append(function)
    return function


class Suite:
    """What every scenario works with: the files under test, the prefix and the screen."""

    def __init__(self, repo, files, wine, screen):
        self.files = files
        self.wine = wine
        self.screen = screen
        self.sample = os.path.join(repo, "data", "Cube.dat")

    # ---- state of the prefix ----

    def path(self, *parts):
        return os.path.join(self.wine.drive, *parts)

    def reset(self):
        """The state every scenario starts from: the sample object, no statistics, no stand-ins,
        no logs, the pointer at the screen centre, the saver in place."""
        for stale in ("times.dat", "Cube.dat"):
            remove(self.path("windows", stale))
        for name in os.listdir(self.wine.staging):
            remove(os.path.join(self.wine.staging, name))
        for name in os.listdir(self.wine.state):
            remove(os.path.join(self.wine.state, name))
        if os.path.exists(self.sample):
            shutil.copy(self.sample, self.path("windows", "Cube.dat"))
        if self.files["Cubrix.scr"]:
            shutil.copy(self.files["Cubrix.scr"], os.path.join(self.wine.staging, "Cubrix.scr"))
        self.screen.move_pointer(*CENTRE)
        # Through Wine too, so that the next saver does not see the pointer where it last was.
        self.wine.run(self.files["e2e_probe.exe"], "pointer", *map(str, CENTRE))

    def install(self, name):
        """Places one of our stand-in system libraries next to the saver, first in its search path."""
        shutil.copy(self.files[name], os.path.join(self.wine.staging, name))

    def write_state(self, name, text):
        """Replaces a file at once, so a helper polling it never reads it half written."""
        path = os.path.join(self.wine.state, name)
        with open(path + ".new", "w") as file:
            file.write(text)
        os.replace(path + ".new", path)

    def read_state(self, name):
        try:
            with open(os.path.join(self.wine.state, name)) as file:
                return file.read().splitlines()
        except FileNotFoundError:
            return []

    # ---- programs ----

    def start_saver(self, arguments, command_line=None, cwd=None):
        """Starts the saver with an exact command line (the program name, a blank and the
        arguments, unless given whole); \\t and \\xNN stand for raw bytes."""
        command = command_line or SAVER + (" " + arguments if arguments else "")
        return self.wine.start(self.files["e2e_probe.exe"], "run", command, cwd=cwd)

    def run_saver(self, arguments, timeout=END_TIMEOUT):
        return self.start_saver(arguments).wait(timeout, f"Cubrix.scr {arguments!r} to end")

    def windows(self):
        """Visible top-level windows and their children, as the probe lists them."""
        _, listing = self.wine.run(self.files["e2e_probe.exe"], "windows")
        rows = []
        for line in listing.splitlines():
            fields = line.split("\t")
            if len(fields) != 18:
                continue
            rows.append({"kind": fields[0], "hwnd": int(fields[1]), "parent": int(fields[2]),
                         "class": fields[4], "title": fields[5], "style": int(fields[6], 16),
                         "exstyle": int(fields[7], 16),
                         "rect": tuple(int(value) for value in fields[8:12]),
                         "client": (int(fields[12]), int(fields[13])), "id": int(fields[14]),
                         "owner": int(fields[16]),
                         "icon": fields[17] == "1"})
        return rows

    def tick(self):
        """Wine's tick count now, the clock the saver and the stand-ins read."""
        return int(self.wine.run(self.files["e2e_probe.exe"], "tick")[1])

    def foreground(self):
        """The window that Wine says has the user's attention."""
        _, listing = self.wine.run(self.files["e2e_probe.exe"], "windows")
        line = first(listing.splitlines(), "foreground\t")
        return int(line.split("\t")[1]) if line else 0

    def wait_foreground(self, window, what):
        """Keys go to the window in front; wait until it is the one they are meant for."""
        poll(lambda: self.foreground() == window, START_TIMEOUT, f"{what} to come to the front")

    def start_parent(self, name="parent"):
        """Our stand-in for the display settings: a window whose handle the saver is given. It comes
        to the front, so the last one started is the foreground window."""
        parent = self.wine.start(self.files["e2e_parent_window.exe"], "C:\\e2e", *map(str, PREVIEW_SIZE), name,
                                 reports_exit=False)
        line = poll(lambda: first(self.read_state(name + ".log"), "hwnd "), START_TIMEOUT, f"the {name} window")
        return parent, int(line.split()[1])

    def close_parent(self, parent, name="parent"):
        self.write_state(name + ".cmd", "close\n")
        parent.wait(END_TIMEOUT, f"the {name} program to end")

    def command_parent(self, command):
        self.write_state("parent.cmd", command + "\n")

    # ---- the full-screen window and its frames ----

    def wait_saver_window(self, program):
        def found():
            check(program.running(), f"the saver ended early with exit code {program.exit_code()}")
            return self.screen.find("Screen Saver")
        return poll(found, START_TIMEOUT, "the full-screen saver window")[0]

    def wait_frame(self, program):
        """A screenshot that shows a drawn frame (anything but a black screen). The saver takes
        the input focus before its first frame, so keys sent after one reach it."""
        def drawn():
            check(program.running(), f"the saver ended early with exit code {program.exit_code()}")
            shot = self.screen.shot()
            return shot if shot.count(0) != len(shot) else None
        return poll(drawn, START_TIMEOUT, "a frame on the screen")

    def wait_changes(self, program, count, timeout=5):
        """Waits until the screen has changed count times; every change is a new frame drawn after
        the input sent before, since the saver handles input before its next timer tick."""
        previous = self.screen.shot()
        for _ in range(count):
            def changed():
                check(program.running(), f"the saver ended with exit code {program.exit_code()}")
                shot = self.screen.shot()
                return shot if shot != previous else None
            previous = poll(changed, timeout, "a new frame")
        return previous

    def object_colours(self):
        return sample_colours(self.sample)

    def times(self):
        """The five values of times.dat, after checking the file's exact layout."""
        with open(self.path("windows", "times.dat"), "rb") as file:
            text = file.read().decode("ascii")
        check(text.endswith("\r\n") and text.count("\r\n") == 5 and text.count("\n") == 5,
              f"times.dat is not five CR LF lines: {text!r}")
        values = []
        for label, line in zip(TIMES_LABELS, text.split("\r\n")):
            match = re.fullmatch(re.escape(label.ljust(18)) + r"=(-?\d+)", line)
            check(match is not None, f"times.dat line {line!r} is not '{label}' in the expected format")
            values.append(int(match.group(1)))
        started, ended, frames, seconds, rate = values
        elapsed = to_signed(ended - started)
        check(seconds == truncating_division(elapsed, 1000), f"Total Seconds {seconds} for {elapsed} ms")
        if elapsed != 0:
            check(rate == truncating_division(to_signed(frames * 1000), elapsed),
                  f"Frames per Second {rate} for {frames} frames in {elapsed} ms")
        return {"started": started, "ended": ended, "frames": frames, "elapsed": elapsed}


# ---- small helpers ----

def remove(path):
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)


def first(lines, prefix):
    return next((line for line in lines if line.startswith(prefix)), None)


def to_signed(value):
    value &= 0xFFFFFFFF
    return value - (1 << 32) if value & 0x80000000 else value


def truncating_division(numerator, denominator):
    quotient = abs(numerator) // abs(denominator)
    return quotient if (numerator >= 0) == (denominator > 0) else -quotient


def leading_int(text):
    """The value the C library's atoi gives: blanks, a sign, digits; 0 without digits."""
    match = re.match(r"\s*([+-]?\d+)", text)
    return int(match.group(1)) if match else 0


def sample_colours(path):
    """Fill colours of an object file, read as the saver reads them; white stands for any face
    drawn with no fill before the first coloured one, so it is allowed whenever such faces exist."""
    found = set()
    with open(path, "rb") as file:
        lines = file.read().decode("latin-1").replace("\r\n", "\n").split("\n")
    for line in lines:
        line = line.rstrip(" ")
        if not line or line.startswith("#"):
            continue
        text = "255,255,255"
        if line.startswith("[") and "]" in line:
            text = line[1:line.index("]")]
        parts = text.split(",")
        if text.startswith("N") or len(parts) < 3:
            found.add(WHITE)
            continue
        found.add(tuple(leading_int(part) & 255 for part in (parts[0], parts[1], ",".join(parts[2:]))))
    return found


def windows_titled(rows, title, kind="top"):
    return [row for row in rows if row["kind"] == kind and row["title"] == title]


def children_of(rows, parent):
    return [row for row in rows if row["kind"] == "child" and row["parent"] == parent["hwnd"]]


def icons_of(rows, box):
    """The controls of a message box that show an icon."""
    return [row for row in children_of(rows, box) if row["icon"]]


# ---- 1. full screen ----

@scenario
def full_screen_covers_animates_and_closes_on_a_five_pixel_move(suite):
    started = time.monotonic()
    saver = suite.start_saver("/s")
    window = suite.wait_saver_window(saver)
    shown = time.monotonic()
    check(suite.screen.geometry(window) == (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT),
          f"the window's X geometry is {suite.screen.geometry(window)}, not the whole screen")
    rows = windows_titled(suite.windows(), "Screen Saver")
    check(len(rows) == 1 and rows[0]["class"] == "WindowsScreenSaverClass",
          f"expected one WindowsScreenSaverClass window titled 'Screen Saver', found {rows}")
    check(rows[0]["rect"] == (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT) and rows[0]["exstyle"] & WS_EX_TOPMOST
          and rows[0]["style"] & FULL_SCREEN_STYLE == FULL_SCREEN_STYLE,
          f"the window is not a topmost popup over the whole screen: {rows[0]}")

    frame = suite.wait_frame(saver)
    later = suite.wait_changes(saver, 1)
    allowed = {BLACK} | suite.object_colours()
    for shot in (frame, later):
        stray = colours(shot) - allowed
        check(not stray, f"colours outside black and the object's: {sorted(stray)[:8]}")

    suite.screen.move_pointer(CENTRE[0] + 3, CENTRE[1] + 1)
    suite.wait_changes(saver, 2)
    check(saver.running(), "a pointer move of 4 pixels ended the saver")
    # The run lasts over a second from the moment its window was seen, which is after the start
    # of the statistics, so they say something.
    poll(lambda: time.monotonic() - shown > 1.2, 5, "a run of 1.2 s")
    suite.screen.move_pointer(CENTRE[0] + 3, CENTRE[1] + 2)
    code = saver.wait(END_TIMEOUT, "the saver to end after a 5-pixel move")
    wall_ms = (time.monotonic() - started) * 1000
    check(code == 0, f"exit code {code}, expected 0")

    times = suite.times()
    check(1000 <= times["elapsed"] <= wall_ms, f"{times['elapsed']} ms in times.dat for a run of {wall_ms:.0f} ms")
    most = times["elapsed"] // FRAME_PERIOD_MS + 1
    check(2 <= times["frames"] <= most, f"{times['frames']} frames in {times['elapsed']} ms (at most {most})")
    check(times["frames"] * 4 >= most, f"only {times['frames']} frames in {times['elapsed']} ms")


def full_screen_ends_on(suite, act):
    saver = suite.start_saver("/s")
    suite.wait_saver_window(saver)
    suite.wait_frame(saver)
    helper = act(suite)
    try:
        code = saver.wait(END_TIMEOUT, "the saver to end")
    finally:
        if helper is not None:
            helper.kill()
    check(code == 0, f"exit code {code}, expected 0")
    check(suite.times()["frames"] >= 1, "times.dat counts no frame of a run that drew some")


@scenario
def full_screen_ends_on_a_key(suite):
    full_screen_ends_on(suite, lambda s: s.screen.key("a"))


@scenario
def full_screen_ends_on_alt(suite):
    full_screen_ends_on(suite, lambda s: s.screen.key("alt"))


@scenario
def full_screen_ends_on_a_button(suite):
    full_screen_ends_on(suite, lambda s: s.screen.click(1))


@scenario
def full_screen_ends_on_losing_activation(suite):
    full_screen_ends_on(suite, lambda s: s.screen.focus_elsewhere())


@scenario
def full_screen_on_a_drive_without_a_windows_folder_ends_cleanly(suite):
    # The statistics go to \windows on the current drive; on drive D: there is no such folder.
    other_drive = os.path.join(os.path.dirname(suite.wine.prefix), "drive_d")
    suite.wine.add_drive("d", other_drive)
    saver = suite.start_saver("/s", cwd=other_drive)
    suite.wait_saver_window(saver)
    suite.wait_frame(saver)
    suite.screen.key("a")
    code = saver.wait(END_TIMEOUT, "the saver to end on a key")
    check(code == 0, f"exit code {code}, expected 0")
    check(not os.path.exists(suite.path("windows", "times.dat")), "times.dat was written on drive C:")
    check(os.listdir(other_drive) == [], f"the saver left {os.listdir(other_drive)} on drive D:")


# ---- 2. a second start ----

@scenario
def second_full_screen_start_leaves_the_first_running(suite):
    first_saver = suite.start_saver("/s")
    suite.wait_saver_window(first_saver)
    suite.wait_frame(first_saver)
    code = suite.run_saver("/s", timeout=5)
    check(code == 0, f"the second start exited with {code}, expected 0")
    check(len(suite.screen.find("Screen Saver")) == 1, "there is not exactly one saver window")
    suite.wait_changes(first_saver, 2)
    suite.screen.key("a")
    check(first_saver.wait(END_TIMEOUT) == 0, "the first saver did not end with 0")


# ---- 3. preview ----

def preview_lifecycle(suite, arguments_for):
    parent, handle = suite.start_parent()
    saver = suite.start_saver(arguments_for(handle))
    def child_window():
        check(saver.running(), f"the preview ended early with exit code {saver.exit_code()}")
        return first(suite.read_state("parent.log"), "child ")
    line = poll(child_window, START_TIMEOUT, "the preview window")
    _, child, owner, class_name, title, width, height = line.split()
    check((owner, class_name, title) == ("other", "WindowsScreenSaverClass", "Preview"),
          f"the child window is not the saver's preview: {line}")
    check((int(width), int(height)) == PREVIEW_SIZE, f"the preview's client size is {width}x{height}")

    # A user's pointer and keys over the preview, then every closing input posted to it directly.
    suite.screen.move_pointer(150, 150)
    suite.screen.move_pointer(300, 250)
    suite.screen.click(1)
    suite.screen.key("a")
    suite.command_parent("poke")
    def forwarded():
        check(saver.running(), f"input ended the preview with exit code {saver.exit_code()}")
        return first(suite.read_state("parent.log"), "context ")
    poll(forwarded, START_TIMEOUT, "the forwarded context-menu request")
    log = suite.read_state("parent.log")
    check(f"poked {child} 0" in log, f"the parent could not post input to the preview: {log}")
    check(f"context {handle}" in log, f"the forwarded request did not carry the parent's handle: {log}")
    check(saver.running() and f"gone {child}" not in log, "input ended the preview")

    suite.command_parent("close")
    code = saver.wait(END_TIMEOUT, "the preview to end with its parent")
    check(code == 0, f"exit code {code}, expected 0")
    parent.wait(END_TIMEOUT, "the parent program to end")
    suite.times()


@scenario
def preview_with_p_and_a_blank(suite):
    preview_lifecycle(suite, lambda handle: f"/p {handle}")


@scenario
def preview_with_l_and_a_blank(suite):
    preview_lifecycle(suite, lambda handle: f"/l {handle}")


@scenario
def preview_with_the_handle_joined(suite):
    preview_lifecycle(suite, lambda handle: f"/p{handle}")


@scenario
def preview_with_a_handle_that_wraps_at_32_bits(suite):
    # Window handles are read into 32 bits: eleven digits wrap around to the parent's handle.
    preview_lifecycle(suite, lambda handle: f"/p {handle + (1 << 32)}")


@scenario
def preview_refuses_handles_it_cannot_use(suite):
    parent, handle = suite.start_parent()
    for arguments in (f"/p:{handle}", "/p 0", f"/p {NO_SUCH_WINDOW}", f"/p\\t{handle}"):
        code = suite.run_saver(arguments)
        check(code == -1, f"Cubrix.scr {arguments} exited with {code}, expected -1")
    check(first(suite.read_state("parent.log"), "child ") is None, "a refused preview made a window")
    suite.close_parent(parent)


# ---- 4. configuration ----

def open_configuration(suite, arguments):
    """Shows the dialog; with a switch it belongs to the window in front, which we put there."""
    front, owner = suite.start_parent("front") if arguments else (None, 0)
    dialog = suite.start_saver(arguments)
    rows = wait_dialog(suite, dialog)
    check(rows[0]["owner"] == owner, f"the dialog's owner is {rows[0]['owner']}, expected {owner}")
    buttons = {(row["id"], row["title"]) for row in children_of(suite.windows(), rows[0])
               if row["class"].lower() == "button"}
    check(buttons == {(1, "OK"), (2, "Cancel"), (1000, "&Help")}, f"the dialog's buttons are {sorted(buttons)}")
    return dialog, rows[0], front


def wait_dialog(suite, dialog):
    """The configuration dialog's window rows, once it is shown on the X screen too."""
    def shown():
        check(dialog.running(), f"the program ended with {dialog.exit_code()} instead of showing the dialog")
        return windows_titled(suite.windows(), "Cubrix")
    rows = poll(shown, START_TIMEOUT, "the configuration dialog")
    poll(lambda: suite.screen.find("Cubrix"), START_TIMEOUT, "the dialog on the X screen")
    suite.wait_foreground(rows[0]["hwnd"], "the dialog")
    return rows


def configuration_closes(suite, arguments, close):
    dialog, row, front = open_configuration(suite, arguments)
    close(suite, row)
    code = dialog.wait(END_TIMEOUT, "the dialog to close")
    check(code == 0, f"exit code {code}, expected 0")
    if front is not None:
        suite.close_parent(front, "front")


def click_button(suite, dialog_row, text):
    button = next(row for row in children_of(suite.windows(), dialog_row) if row["title"] == text)
    left, top, right, bottom = button["rect"]
    suite.screen.move_pointer((left + right) // 2, (top + bottom) // 2)
    suite.screen.click(1)


@scenario
def configuration_without_a_switch_closes_on_enter(suite):
    configuration_closes(suite, "", lambda s, row: s.screen.key("Return"))


@scenario
def configuration_c_closes_on_escape(suite):
    configuration_closes(suite, "/c", lambda s, row: s.screen.key("Escape"))


@scenario
def configuration_c_with_digits_closes_on_ok(suite):
    configuration_closes(suite, "/c:1234", lambda s, row: click_button(s, row, "OK"))


@scenario
def configuration_closes_on_cancel(suite):
    configuration_closes(suite, "/c", lambda s, row: click_button(s, row, "Cancel"))


@scenario
def configuration_f1_shows_help(suite):
    dialog, row, front = open_configuration(suite, "/c")
    suite.screen.key("F1")

    def help_box():
        for top in windows_titled(suite.windows(), ""):
            texts = {child["title"] for child in children_of(suite.windows(), top)}
            if "Help!" in texts:
                return top, texts
        return None
    box, texts = poll(help_box, START_TIMEOUT, "the help message box")
    suite.wait_foreground(box["hwnd"], "the help box")
    check(texts - {"Help!", ""} == {"OK"}, f"the help box holds {sorted(texts)}, expected only Help! and OK")
    check(not icons_of(suite.windows(), box), "the help box shows an icon")
    suite.screen.key("Return")
    poll(lambda: not [r for r in suite.windows() if r["hwnd"] == box["hwnd"]], END_TIMEOUT, "the help box to close")
    check(dialog.running() and windows_titled(suite.windows(), "Cubrix"), "closing the help box closed the dialog")
    suite.screen.key("Escape")
    check(dialog.wait(END_TIMEOUT) == 0, "the dialog did not end with 0")
    suite.close_parent(front, "front")


# ---- 5. password protection on the Windows 95 platform ----

class SaverSettings:
    """Wine registry settings for Cubrix.scr alone: the platform Wine reports to it (win95 for the
    Windows 95 platform), the password setting, and libraries it takes from its own folder rather
    than Wine's builtin ones. Everything is put back afterwards."""

    APP_KEY = "HKCU\\Software\\Wine\\AppDefaults\\Cubrix.scr"
    DESKTOP_KEY = "HKCU\\Control Panel\\Desktop"

    def __init__(self, suite, version=None, use_password=None, native=()):
        self.suite = suite
        self.values = []
        if version is not None:
            self.values.append((self.APP_KEY, "Version", "REG_SZ", version))
        if use_password is not None:
            self.values.append((self.DESKTOP_KEY, "ScreenSaveUsePassword", "REG_DWORD", str(use_password)))
        for library in native:
            self.values.append((self.APP_KEY + "\\DllOverrides", library, "REG_SZ", "native,builtin"))

    def __enter__(self):
        check(self.clear(), f"{self.APP_KEY} is still there after deleting it")  # no leak from earlier
        for key, name, kind, data in self.values:
            check(self.suite.wine.reg("add", key, "/v", name, "/t", kind, "/d", data, "/f") == 0,
                  f"wine reg could not set {key}\\{name}")
        return self

    def __exit__(self, failure, *_):
        cleared = self.clear()
        if failure is None:  # a check of our own must not hide the scenario's failure
            check(cleared, f"{self.APP_KEY} is still there after the scenario")

    def clear(self):
        """Deletes every setting this class makes; True once the saver's own key is seen gone."""
        wine = self.suite.wine
        wine.reg("delete", self.DESKTOP_KEY, "/v", "ScreenSaveUsePassword", "/f")
        for _ in range(3):
            wine.reg("delete", self.APP_KEY, "/f")
            if wine.reg("query", self.APP_KEY) != 0:
                return True
        return False

    @classmethod
    def describe(cls, suite):
        """What Wine holds for the platform it reports, for a failure message."""
        found = [suite.wine.reg_text("query", cls.APP_KEY, "/s"),
                 suite.wine.reg_text("query", "HKCU\\Software\\Wine", "/v", "Version")]
        lines = [line.strip() for text in found for line in text.splitlines() if "Version" in line]
        return "; ".join(lines) or "no Version value"


def windows95(suite, use_password=None, native=()):
    return SaverSettings(suite, version="win95", use_password=use_password, native=native)


def verify_calls(suite):
    return [line.split() for line in suite.read_state("password.log") if line.startswith("verify ")]


def asked_count(suite):
    return sum(1 for line in suite.read_state("password.log") if line.startswith("asked "))


def key_until_asked(suite):
    """Presses a key every half second until the verification is asked once more."""
    before = asked_count(suite)
    def asked():
        suite.screen.key("a")
        try:
            return poll(lambda: asked_count(suite) > before, 0.5, "a check")
        except Failure:
            return False
    poll(asked, END_TIMEOUT, "another password check")


def check_recheck_gaps(calls):
    """No check may start sooner than 200 ms after the previous one returned."""
    for previous, following in zip(calls, calls[1:]):
        gap = int(following[4]) - int(previous[5])
        check(gap >= 200, f"a check started {gap} ms after the previous one ended: {following}")


@scenario
def windows95_password_refused_then_allowed(suite):
    with windows95(suite, use_password=1):
        suite.install("PASSWORD.CPL")
        suite.write_state("password-answer.txt", "refuse\n")
        saver = suite.start_saver("/s")
        suite.wait_saver_window(saver)
        suite.wait_frame(saver)
        check("load" in suite.read_state("password.log"), "PASSWORD.CPL was not loaded for a full-screen run")

        # A burst of keys, each a close request: the first asks, the others follow within 200 ms
        # and ask nothing. Whatever the machine's load, no check starts sooner than 200 ms after
        # the one before, so a burst never asks as often as it requests.
        burst = ["a", "b", "c", "d"]
        suite.screen.xdotool("key", "--delay", "5", *burst)
        poll(lambda: verify_calls(suite), START_TIMEOUT, "the password check")
        suite.wait_changes(saver, 3)
        calls = verify_calls(suite)
        check(len(calls) < len(burst), f"{len(calls)} checks for a burst of {len(burst)} keys: {calls}")
        check_recheck_gaps(calls)
        _, window, class_name, title, _, _, answer = calls[-1]
        check((class_name, title, answer) == ("WindowsScreenSaverClass", "Screen|Saver", "refuse"),
              f"the check was not asked for the saver window: {calls[-1]}")
        check(saver.running(), "a refused check ended the saver")

        # Later requests are asked again, never sooner than 200 ms after the last check.
        key_until_asked(suite)
        poll(lambda: len(verify_calls(suite)) > len(calls), END_TIMEOUT, "the check to return")
        check_recheck_gaps(verify_calls(suite))
        check(verify_calls(suite)[-1][1] == window and saver.running(), "the second refusal ended the saver")

        # While the check runs its own message loop, frames go on; an approval ends the run.
        suite.write_state("password-answer.txt", "hold\n")
        key_until_asked(suite)
        suite.wait_changes(saver, 2)
        suite.write_state("password-answer.txt", "allow\n")
        code = saver.wait(END_TIMEOUT, "the saver to end after an approval")
        check(code == 0, f"exit code {code}, expected 0")
        check(verify_calls(suite)[-1][-1] == "allow", "the last check did not allow")
        check(suite.read_state("password.log")[-1] == "unload", "PASSWORD.CPL was not unloaded at the end")
        suite.times()


@scenario
def windows95_refused_check_measures_movement_afresh(suite):
    # The pointer moves far while the check is up; after the refusal movement is measured from
    # where the pointer then is, so a small move later asks nothing.
    with windows95(suite, use_password=1):
        suite.install("PASSWORD.CPL")
        suite.write_state("password-answer.txt", "hold\n")
        saver = suite.start_saver("/s")
        suite.wait_saver_window(saver)
        suite.wait_frame(saver)
        key_until_asked(suite)
        suite.screen.move_pointer(CENTRE[0] + 50, CENTRE[1] + 50)
        suite.write_state("password-answer.txt", "refuse\n")
        refused_at = int(poll(lambda: verify_calls(suite), END_TIMEOUT, "the refusal")[0][5])
        # Past the 200 ms in which any close request would be dropped unasked.
        poll(lambda: suite.tick() - refused_at >= 250, END_TIMEOUT, "250 ms after the refusal")
        suite.screen.move_pointer(CENTRE[0] + 52, CENTRE[1] + 50)
        suite.wait_changes(saver, 3)
        check(asked_count(suite) == 1, f"a 2-pixel move after the refusal asked again: {verify_calls(suite)}")
        suite.write_state("password-answer.txt", "allow\n")
        key_until_asked(suite)
        check(saver.wait(END_TIMEOUT, "the saver to end after an approval") == 0, "the saver did not end with 0")


def windows95_input_ends_at_once(suite, use_password, with_library):
    with windows95(suite, use_password=use_password):
        if with_library:
            suite.install("PASSWORD.CPL")
        suite.write_state("password-answer.txt", "refuse\n")
        saver = suite.start_saver("/s")
        suite.wait_saver_window(saver)
        suite.wait_frame(saver)
        suite.screen.key("a")
        code = saver.wait(END_TIMEOUT, "the saver to end on a key")
        check(code == 0, f"exit code {code}, expected 0")
        check(not verify_calls(suite), "a password check was asked")


@scenario
def windows95_protection_off_ends_at_once(suite):
    windows95_input_ends_at_once(suite, 0, True)
    check("load" not in suite.read_state("password.log"), "PASSWORD.CPL was loaded with protection off")


@scenario
def windows95_without_the_library_ends_at_once(suite):
    windows95_input_ends_at_once(suite, 1, False)


@scenario
def windows95_change_password_through_mpr(suite):
    # The owner given is not the foreground window, so the two cannot be mistaken for each other.
    owner_program, handle = suite.start_parent("owner")
    front_program, front = suite.start_parent("front")
    with windows95(suite, native=["mpr"]):
        suite.install("MPR.DLL")
        for arguments, owner in ((f"/a {handle}", handle), (f"/a{handle}", handle),
                                 (f"/a {NO_SUCH_WINDOW}", front), ("/a", front)):
            before = len(suite.read_state("mpr.log"))
            code = suite.run_saver(arguments)
            check(code == 0, f"Cubrix.scr {arguments} exited with {code}, expected 0")
            calls = suite.read_state("mpr.log")[before:]
            check(len(calls) == 1, f"Cubrix.scr {arguments} called MPR.DLL {len(calls)} times")
            _, provider, given, flags, reserved, foreground = calls[0].split()
            check(foreground == str(front), f"the foreground window was {foreground}, not {front}")
            check((provider, given, flags, reserved) == ("SCRSAVE", str(owner), "0", "0"),
                  f"Cubrix.scr {arguments}: PwdChangePasswordA got {calls[0]}, expected owner {owner}")
    remove(os.path.join(suite.wine.staging, "MPR.DLL"))
    with windows95(suite):
        code = suite.run_saver(f"/a {handle}")
        check(code == 0, f"with Wine's own MPR.DLL the change exited with {code}, expected 0")
    suite.close_parent(front_program, "front")
    suite.close_parent(owner_program, "owner")


@scenario
def change_password_is_refused_on_nt(suite):
    suite.install("MPR.DLL")
    # Said outright rather than left to the prefix's default, which earlier scenarios' settings touch.
    with SaverSettings(suite, version="win10", native=["mpr"]):
        code = suite.run_saver("/a")
        if code != -1:  # the Version values are looked up only for the failure message
            raise Failure(f"/a on the NT platform exited with {code}, expected -1 ({SaverSettings.describe(suite)})")
    check(not suite.read_state("mpr.log"), "/a on the NT platform reached MPR.DLL")


# ---- 6. the object file cannot be loaded ----

def load_failure(suite, message):
    saver = suite.start_saver("/s")
    def boxed():
        check(saver.running(), f"the saver ended early with {saver.exit_code()}")
        return windows_titled(suite.windows(), "LoadObject")
    box = poll(boxed, START_TIMEOUT, "the LoadObject message box")[0]
    texts = {row["title"] for row in children_of(suite.windows(), box)}
    check(texts - {""} == {message, "OK"}, f"the message box holds {sorted(texts)}, expected {message!r} and OK")
    check(len(icons_of(suite.windows(), box)) == 1, "the message box shows no icon")
    poll(lambda: suite.screen.find("LoadObject"), START_TIMEOUT, "the message box on the X screen")
    suite.wait_foreground(box["hwnd"], "the message box")
    suite.screen.key("Return")
    suite.wait_saver_window(saver)
    poll(lambda: not windows_titled(suite.windows(), "LoadObject"), END_TIMEOUT, "the message box to close")
    suite.wait_foreground(windows_titled(suite.windows(), "Screen Saver")[0]["hwnd"], "the saver window")

    # Ten frame periods without a single change, and none of the object's colours.
    first_shot = suite.screen.shot()
    deadline = time.monotonic() + 10 * FRAME_PERIOD_MS / 1000
    while time.monotonic() < deadline:
        check(suite.screen.shot() == first_shot, "the screen changed after a failed load")
    drawn = colours(first_shot) & (suite.object_colours() - {BLACK, WHITE})
    check(not drawn, f"object colours on the screen after a failed load: {sorted(drawn)}")
    suite.screen.key("a")
    code = saver.wait(END_TIMEOUT, "the saver to end on a key")
    check(code == 0, f"exit code {code}, expected 0")
    times = suite.times()
    check(times["frames"] == 0, f"times.dat counts {times['frames']} frames after a failed load")


@scenario
def missing_object_file_is_reported(suite):
    remove(suite.path("windows", "Cube.dat"))
    load_failure(suite, "Data file not found or cannot read")


@scenario
def malformed_object_file_is_reported(suite):
    with open(suite.path("windows", "Cube.dat"), "w") as file:
        file.write("[255,0,0 (1,1,1) (2,1,1) (2,2,1)\n")
    load_failure(suite, "Error reading object data")


# ---- 7. unknown switches ----

@scenario
def unknown_switches_exit_with_minus_one(suite):
    for arguments in ("/x", "/?", "/\\ts", "-\\t", "/\\xe9"):
        code = suite.run_saver(arguments)
        check(code == -1, f"Cubrix.scr {arguments} exited with {code}, expected -1")
    check(not suite.screen.find("Screen Saver") and not windows_titled(suite.windows(), "Cubrix"),
          "an unknown switch opened a window")


@scenario
def other_forms_of_the_full_screen_switch(suite):
    # Blanks, dashes and slashes before the letter are skipped; only the first letter counts.
    for arguments in ("-s", "/ - /S", "/s /p 99"):
        saver = suite.start_saver(arguments)
        suite.wait_saver_window(saver)
        suite.wait_frame(saver)
        suite.screen.key("a")
        code = saver.wait(END_TIMEOUT, f"Cubrix.scr {arguments} to end")
        check(code == 0, f"Cubrix.scr {arguments} exited with {code}, expected 0")


@scenario
def quoted_program_name_is_skipped(suite):
    # As the system writes a name that may hold blanks; a switch may follow the quote at once.
    saver = suite.start_saver(None, f'"{SAVER}" /s')
    suite.wait_saver_window(saver)
    suite.wait_frame(saver)
    suite.screen.key("a")
    check(saver.wait(END_TIMEOUT) == 0, "the saver did not end with 0")
    dialog = suite.start_saver(None, f'"{SAVER}"/c')
    wait_dialog(suite, dialog)
    suite.screen.key("Escape")
    check(dialog.wait(END_TIMEOUT) == 0, "the dialog did not end with 0")


# ---- 8. the same picture as the portable build ----

def best_reference_frame(suite, shot):
    """Runs the portable build's renderer over the whole cycle against a screenshot."""
    renderer = suite.files["e2e_render_frames"]
    shot_path = os.path.join(suite.wine.state, "shot.rgb")
    with open(shot_path, "wb") as file:
        file.write(shot)
    completed = subprocess.run([renderer, suite.sample, str(SCREEN_WIDTH), str(SCREEN_HEIGHT), shot_path],
                               capture_output=True, text=True, timeout=120, env=headless_env())
    check(completed.returncode == 0, f"the renderer failed: {completed.stderr.strip()}")
    best = first(completed.stdout.splitlines(), "best ")
    check(best is not None, "the renderer reported no best frame")
    words = best.split()
    return {"frame": int(words[1]), "angle": int(words[3]), "equal": int(words[5]), "pixels": int(words[7]),
            "object_equal": int(words[9]), "object": int(words[11]), "edge": int(words[13]),
            "inner": int(words[15])}


def headless_env():
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    return env


@scenario
def screenshot_matches_a_frame_of_the_portable_build(suite):
    check(suite.files.get("e2e_render_frames") is not None,
          "no portable build with e2e_render_frames (CUBRIX_E2E_PORTABLE_BUILD)")
    saver = suite.start_saver("/s")
    suite.wait_saver_window(saver)
    suite.wait_frame(saver)
    # Some way into the cycle; which frame it is, the comparison finds out.
    shot = suite.wait_changes(saver, 10)
    suite.screen.key("a")
    check(saver.wait(END_TIMEOUT) == 0, "the saver did not end with 0")
    best = best_reference_frame(suite, shot)
    share = best["equal"] / best["pixels"]
    object_share = best["object_equal"] / max(1, best["object"])
    differing = best["pixels"] - best["equal"]
    note = (f"frame {best['frame']} (angle {best['angle']}): {share:.2%} of all pixels equal, "
            f"{object_share:.2%} of drawn pixels; of {differing} differing, {best['edge']} on polygon edges")
    check(share >= MIN_EQUAL_SHARE and object_share >= MIN_OBJECT_SHARE, "too few equal pixels: " + note)
    return note


# ---- running ----

def run_all(suite, chosen):
    passed = failed = 0
    for function in SCENARIOS:
        name = function.__name__
        if chosen and name not in chosen:
            continue
        if not suite.files["Cubrix.scr"]:
            print(f"FAIL {name}: no Cubrix.scr in the build", flush=True)
            failed += 1
            continue
        started = time.monotonic()
        try:
            suite.reset()
            note = function(suite)
            outcome = "PASS" + (f" ({note})" if note else "")
        except Failure as failure:
            outcome = f"FAIL ({failure})"
        except Exception:  # a fault of the suite itself still counts against the scenario
            outcome = "FAIL (suite error)\n" + traceback.format_exc()
        finally:
            if any(program.running() for program in suite.wine.programs):
                suite.wine.restart_server()
            suite.wine.programs = []
        seconds = time.monotonic() - started
        verdict, _, detail = outcome.partition(" ")
        print(f"{verdict} {name} [{seconds:.1f} s]" + (f": {detail}" if detail else ""), flush=True)
        if verdict == "PASS":
            passed += 1
        else:
            failed += 1
    return passed, failed
