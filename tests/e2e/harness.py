"""Machinery of the end-to-end suite: an Xvfb display, a Wine prefix, programs started under Wine,
screenshots, pointer and keys through xdotool, and bounded polls instead of sleeps."""

import os
import shutil
import subprocess
import tempfile
import threading
import time

SCREEN_WIDTH = 1024
SCREEN_HEIGHT = 768
POLL_INTERVAL = 0.02
QUIET_WINE = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}


class Failure(AssertionError):
    """A scenario's expectation that did not hold."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def poll(probe, timeout, what):
    """Calls probe until it returns something truthy; fails after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(POLL_INTERVAL)


class Display:
    """A private Xvfb server: true colour, no TCP, display number chosen by the server."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
             "-screen", "0", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as announced:
            number = announced.readline().strip()
        if not number:
            self.process.kill()
            raise RuntimeError("Xvfb did not announce a display")
        self.name = ":" + number

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Program:
    """A Windows program under Wine. Started through the suite's probe, it reports its full exit
    code ('exit <code>'); otherwise the loader's exit status stands for it."""

    def __init__(self, argv, env, cwd, reports_exit):
        self.reports_exit = reports_exit
        self.lines = []
        # What Wine and the probe print on the side, kept so that a failed start can say why.
        self.diagnostics = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=self.diagnostics, text=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.strip())

    def exit_code(self):
        """The program's full 32-bit exit code (signed), or None while it runs."""
        if not self.reports_exit:
            return self.process.poll()
        for line in self.lines:
            if line.startswith("exit "):
                return int(line.split()[1])
            if line.startswith("error "):
                raise Failure(f"could not start the program: {line}" + self._diagnostics_tail())
        return None

    def running(self):
        # Never raises: clean-up asks this of programs whose start may have failed.
        if self.reports_exit and any(line.startswith("error ") for line in self.lines):
            return False
        return self.exit_code() is None and self.process.poll() is None

    def wait(self, timeout, what="the program to end"):
        poll(lambda: not self.running(), timeout, what)
        if self.exit_code() is None:
            self.reader.join(timeout=1)
        code = self.exit_code()
        check(code is not None, f"{what}: the launcher ended without reporting an exit code")
        return code

    def _diagnostics_tail(self, count=5):
        self.diagnostics.seek(0)
        tail = self.diagnostics.read().splitlines()[-count:]
        return "".join("\n    " + line for line in tail)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class Wine:
    """A private copy of the template prefix, its wine server, and programs run in it."""

    def __init__(self, repo, arch, display, work, probe):
        self.arch = arch
        self.probe = probe
        self.prefix = os.path.join(work, "prefix")
        template = os.path.join(os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")),
                                "cubrix", "e2e-template-prefix")
        subprocess.run([os.path.join(repo, "scripts", "lib", "wine-prefix"), template], check=True)
        copy_prefix(template, self.prefix)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, DISPLAY=display.name,
                        CUBRIX_E2E_DIR="C:\\e2e", **QUIET_WINE)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.drive = os.path.join(self.prefix, "drive_c")
        self.staging = os.path.join(self.drive, "cubrix")
        self.state = os.path.join(self.drive, "e2e")
        os.makedirs(self.staging, exist_ok=True)
        os.makedirs(self.state, exist_ok=True)
        self.programs = []

    def loader(self):
        # 64-bit programs start faster through the wine64 loader itself.
        if self.arch == "x86_64" and os.access("/usr/lib/wine/wine64", os.X_OK):
            return ["/usr/lib/wine/wine64"]
        return ["wine"]

    def start_server(self):
        subprocess.run(["wineserver", "-p"], env=self.env, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The first program of a fresh server boots Wine's services and desktop; a program that
        # starts alongside it can stall, so boot them alone first.
        self.run(self.probe, "windows", timeout=60)

    def stop_server(self):
        for program in self.programs:
            program.kill()
        self.programs = []
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL)

    def restart_server(self):
        """Ends every Windows process of the prefix, so a scenario cannot leak into the next."""
        self.stop_server()
        self.start_server()

    def start(self, exe, *args, reports_exit=True, cwd=None):
        """Starts a program in the background, in the saver's folder (drive C:) unless told."""
        program = Program(self.loader() + [exe, *args], self.env, cwd or self.staging, reports_exit)
        self.programs.append(program)
        return program

    def run(self, exe, *args, timeout=20):
        """Runs a program to its end; returns its exit status and output."""
        return self._run_to_end(self.loader() + [exe, *args], timeout)

    def reg(self, *args):
        return self._run_to_end(self.loader() + ["reg", *args], 20)[0]

    def reg_text(self, *args):
        return self._run_to_end(self.loader() + ["reg", *args], 20)[1]

    def _run_to_end(self, argv, timeout):
        # Output goes to a file, not a pipe: Wine's services, started by the first program of a
        # server, inherit the output and would hold a pipe open long after the program ended.
        with tempfile.TemporaryFile(mode="w+") as output:
            completed = subprocess.run(argv, env=self.env, cwd=self.staging, stdin=subprocess.DEVNULL,
                                       stdout=output, stderr=subprocess.DEVNULL, timeout=timeout)
            output.seek(0)
            return completed.returncode, output.read()

    def add_drive(self, letter, folder):
        """Maps a drive letter of the prefix to a folder."""
        os.makedirs(folder, exist_ok=True)
        link = os.path.join(self.prefix, "dosdevices", letter.lower() + ":")
        if not os.path.islink(link):
            os.symlink(folder, link)

    def close(self):
        self.stop_server()
        shutil.rmtree(self.prefix, ignore_errors=True)


def copy_prefix(template, prefix):
    """A hard-linked copy is quick; the registry files and the Windows directory's .ini files,
    which Wine rewrites in place, become real copies so the template stays as it was."""
    subprocess.run(["cp", "-al", template, prefix], check=True)
    for folder, suffix in (("", ".reg"), (os.path.join("drive_c", "windows"), ".ini")):
        for name in os.listdir(os.path.join(prefix, folder)):
            if name.lower().endswith(suffix):
                path = os.path.join(prefix, folder, name)
                os.remove(path)
                shutil.copy2(os.path.join(template, folder, name), path)


class Screen:
    """Pointer, keys, windows and pixels of the X display, as a user and the system see them."""

    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display.name)

    def xdotool(self, *args):
        completed = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True,
                                   timeout=10)
        return completed.stdout.strip() if completed.returncode == 0 else ""

    def find(self, title):
        """X window ids whose title is exactly title."""
        found = self.xdotool("search", "--name", f"^{title}$")
        return [int(word) for word in found.split()]

    def geometry(self, window):
        shell = self.xdotool("getwindowgeometry", "--shell", str(window))
        fields = dict(line.split("=", 1) for line in shell.splitlines() if "=" in line)
        return tuple(int(fields.get(key, -1)) for key in ("X", "Y", "WIDTH", "HEIGHT"))

    def move_pointer(self, x, y):
        self.xdotool("mousemove", str(x), str(y))

    def key(self, *keys):
        self.xdotool("key", *keys)

    def click(self, button=1):
        self.xdotool("click", str(button))

    def shot(self):
        """The whole screen as packed RGB bytes, row by row."""
        completed = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=self.env,
                                   capture_output=True, timeout=10)
        pixels = completed.stdout
        check(len(pixels) == SCREEN_WIDTH * SCREEN_HEIGHT * 3, "screenshot has the wrong size")
        return pixels

    def focus_elsewhere(self):
        """Gives the X input focus to a plain X client, so the Windows program loses activation."""
        other = subprocess.Popen(["xlogo", "-geometry", "40x40+0+0"], env=self.env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = poll(lambda: self.find("xlogo"), 5, "the xlogo window")[0]
        self.xdotool("windowfocus", str(window))
        return other


def colours(pixels):
    """The set of (r, g, b) colours in packed RGB bytes."""
    return set(zip(pixels[0::3], pixels[1::3], pixels[2::3]))


def make_work_folder(arch):
    return tempfile.mkdtemp(prefix=f"cubrix-e2e-{arch}-")
