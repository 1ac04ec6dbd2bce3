"""One class with real clients: a class room under Wine, and each client of the build on its own Xvfb
display in its own Wine prefix and data folder, joined from a launch link. Input goes to the windows as
a user gives it (xdotool, or XTest where a moment must be timed); what a user sees is read from the
screen, the clipboard, the databases and the room's log. Used by the end-to-end test and the stroke
latency benchmark."""

import base64
import ctypes
import os
import re
import select
import shutil
import struct
import subprocess
import time


class Failure(Exception):
    pass


def wait_for(what, condition, timeout=20.0, interval=0.1):
    """Polls condition() until it answers something true; fails with `what` after timeout seconds."""
    end = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


# ---- X: pixels and timed input through Xlib and XTest ----

class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong),
                ("obdata", ctypes.c_void_p), ("funcs", ctypes.c_void_p * 6)]


_x11 = ctypes.CDLL("libX11.so.6")
_xtst = ctypes.CDLL("libXtst.so.6")
_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
_x11.XDefaultRootWindow.restype = ctypes.c_ulong
_x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x11.XGetImage.restype = ctypes.POINTER(_XImage)
_x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                           ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
_x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
_xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
_xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
_DESTROY = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(_XImage))


class Pixels:
    """A screen rectangle's pixels as (r, g, b)."""

    def __init__(self, width, height, data, stride):
        self.width, self.height, self._data, self._stride = width, height, data, stride

    def at(self, x, y):
        i = y * self._stride + x * 4
        b, g, r = self._data[i], self._data[i + 1], self._data[i + 2]
        return (r, g, b)

    def count(self, colour, tolerance=24):
        n = 0
        for y in range(self.height):
            for x in range(self.width):
                if all(abs(a - b) <= tolerance for a, b in zip(self.at(x, y), colour)):
                    n += 1
        return n

    def rows_with(self, x, colour, tolerance=24):
        """The runs of rows in column x whose pixel has the colour: [(first, last), ...]."""
        runs, start = [], None
        for y in range(self.height):
            hit = all(abs(a - b) <= tolerance for a, b in zip(self.at(x, y), colour))
            if hit and start is None:
                start = y
            if not hit and start is not None:
                runs.append((start, y - 1))
                start = None
        if start is not None:
            runs.append((start, self.height - 1))
        return runs

    def same_as(self, other):
        return self._data == other._data


class Screen:
    """One Xvfb display: reads its pixels and sends timed pointer input."""

    def __init__(self, display):
        self.display = display
        # A new Xvfb may name its display a moment before it takes connections.
        self._dpy = wait_for("display " + display, lambda: _x11.XOpenDisplay(display.encode()), 10, 0.1)
        self._root = _x11.XDefaultRootWindow(self._dpy)

    def close(self):
        if self._dpy:
            _x11.XCloseDisplay(self._dpy)
            self._dpy = None

    def grab(self, left, top, width, height):
        image = _x11.XGetImage(self._dpy, self._root, left, top, width, height, ctypes.c_ulong(-1).value, 2)
        if not image:
            raise Failure("cannot read the screen of " + self.display)
        info = image.contents
        data = ctypes.string_at(info.data, info.bytes_per_line * info.height)
        pixels = Pixels(info.width, info.height, data, info.bytes_per_line)
        _DESTROY(info.funcs[1])(image)
        return pixels

    def move(self, x, y):
        _xtst.XTestFakeMotionEvent(self._dpy, -1, x, y, 0)
        _x11.XSync(self._dpy, 0)

    def button(self, press):
        _xtst.XTestFakeButtonEvent(self._dpy, 1, 1 if press else 0, 0)
        _x11.XSync(self._dpy, 0)


# ---- the whiteboard: where a stroke lands ----
#
# A point travels as the mouse's position from the board window's client origin divided by the drawing
# surface's size (a 32-bit float), goes to the room as that fraction of the sender's surface size in whole
# pixels, and is painted at the fraction of the receiver's surface size (truncated). The surface starts at
# its window's client origin and fills the window, so a board's surface is its window's rectangle.

WHITE = (0xFF, 0xFF, 0xFF)
FLOATING_BARS = ("ControlPanelWnd", "CpBtnWnd", "PenToolWnd")


def _f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def _painted(point, size):
    """The pixels a surface of `size` pixels may paint a point at: the product truncated, rounded to a
    float first where the compiler keeps it in one."""
    return {int(point * size), int(_f32(point * size))}


def drawn_here(v, size):
    """Where the drawing surface of `size` pixels paints its own stroke's point at mouse position v."""
    return _painted(_f32(v / size), size)


def lands(v, sender, receiver):
    """Where a receiver's surface of `receiver` pixels paints a point drawn at mouse position v on a
    surface of `sender` pixels (the sender too paints it there once it reloads the page)."""
    wire = int(min(max(_f32(v / sender), 0.0), 1.0) * sender)
    return _painted(_f32(wire / sender), receiver)


class Board:
    """A live whiteboard as one client shows it: its window's rectangle in the main window's client area."""

    def __init__(self, rect):
        self.rect = rect
        self.left, self.top, self.right, self.bottom = rect
        self.width, self.height = self.right - self.left, self.bottom - self.top

    def size(self, axis):
        return self.height if axis else self.width

    def __repr__(self):
        return "board %dx%d at (%d, %d)" % (self.width, self.height, self.left, self.top)


def measure_board(client, inside):
    """The live board of a client, read from the screen: the white page around a point inside it, across
    that row and up and down several columns, each edge at the farthest reach (the page's tabs, the
    control-panel button and the pen tool cover some columns only). Read before anything is drawn and
    while the teacher's control panel is folded."""
    x, y = inside
    row = client.grab((0, y, client.size[0], y + 1))
    if row.at(x, 0) != WHITE:
        raise Failure("%s's board is not white at (%d, %d)" % (client.name, x, y))
    left, right = x, x + 1
    while left > 0 and row.at(left - 1, 0) == WHITE:
        left -= 1
    while right < row.width and row.at(right, 0) == WHITE:
        right += 1
    top, bottom = y, y + 1
    for cx in (left, left + (right - left) // 4, (left + right) // 2, left + 3 * (right - left) // 4, right - 1):
        column = client.grab((cx, 0, cx + 1, client.size[1]))
        t, b = y, y + 1
        while t > 0 and column.at(0, t - 1) == WHITE:
            t -= 1
        while b < column.height and column.at(0, b) == WHITE:
            b += 1
        top, bottom = min(top, t), max(bottom, b)
    return Board((left, top, right, bottom))


def floating_bars(client):
    """The rectangles, in the main window's client area, of the floating bars a client shows (the
    teacher's control panel, its button and the pen tool)."""
    rects = []
    for name in FLOATING_BARS:
        for window in client.xdotool("search", "--onlyvisible", "--name", "^%s$" % name).split():
            shell = client.xdotool("getwindowgeometry", "--shell", window)
            g = dict(line.split("=", 1) for line in shell.split() if "=" in line)
            x, y = int(g["X"]) - client.origin[0], int(g["Y"]) - client.origin[1]
            rects.append((name, (x, y, x + int(g["WIDTH"]), y + int(g["HEIGHT"]))))
    return rects


def covered(point, rects):
    x, y = point
    return any(r[0] <= x < r[2] and r[1] <= y < r[3] for _, r in rects)


# ---- processes ----

class Xvfb:
    def __init__(self, log_path):
        self._log = open(log_path, "w")
        # A display number of our own: other runs on this machine start their servers too.
        number = 100 + os.getpid() % 500
        for attempt in range(40):
            while os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
                number += 1
            self.display = ":%d" % number
            self.process = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1600x1000x24", "-nolisten", "tcp"],
                                            stdout=subprocess.DEVNULL, stderr=self._log)
            try:
                wait_for("display " + self.display, lambda: self.process.poll() is not None or subprocess.run(
                    ["xdpyinfo", "-display", self.display], stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL).returncode == 0, 20)
            except Failure:
                self.process.kill()
                raise
            if self.process.poll() is None:
                return
            number += 1
        raise Failure("could not start Xvfb")

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        self._log.close()


class Wine:
    """The flavour's Wine with one prefix."""

    def __init__(self, wine, wineserver, arch, prefix, display):
        self.wine, self.wineserver, self.prefix = wine, wineserver, prefix
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEARCH=arch, DISPLAY=display,
                        WINEDEBUG=os.environ.get("WINEDEBUG", "-all"),
                        WINEDLLOVERRIDES=os.environ.get("WINEDLLOVERRIDES", "mscoree,mshtml="))
        if arch == "win64":
            self.env["WINESERVER"] = wineserver

    def run(self, *args, **kw):
        return subprocess.run([self.wine, *args], env=self.env, stdin=subprocess.DEVNULL, **kw)

    def start(self, *args, env=None, **kw):
        return subprocess.Popen([self.wine, *args], env=dict(self.env, **(env or {})), stdin=subprocess.DEVNULL, **kw)

    def windows_path(self, path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def prepare(self, source):
        """Makes the prefix as the project's scripts make theirs (once; kept between runs); answers the process."""
        script = ('source "$1/scripts/wine-env"; LV_FLAVOUR=$2; lv_set_flavour; lv_prefix; '
                  '"$LV_WINESERVER" -p </dev/null >/dev/null 2>&1 || true')
        flavour = "x86_64" if self.env["WINEARCH"] == "win64" else "i686"
        return subprocess.Popen(["bash", "-c", script, "prepare", source, flavour], env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def kill_server(self):
        subprocess.run([self.wineserver, "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Room:
    """The class room program; its log is what the room saw."""

    def __init__(self, wine, bindir, log_path, seconds):
        self.log_path = log_path
        self._log = open(log_path, "w")
        self.process = wine.start(os.path.join(bindir, "class_room.exe"), "0", str(seconds), cwd=bindir,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.lines = []
        self._pending = b""
        first = wait_for("the room to start", lambda: self._read() or self._first_line(), 30)
        match = re.search(r"gateway udp (\d+)", first)
        if not match:
            raise Failure("the room did not start: " + first)
        self.port = int(match.group(1))

    def _first_line(self):
        return self.lines[0] if self.lines else None

    def _read(self):
        while select.select([self.process.stdout], [], [], 0)[0]:
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                break
            self._pending += chunk
            *complete, self._pending = self._pending.split(b"\n")
            for line in complete:
                text = line.decode("utf-8", "replace").rstrip("\r")
                self.lines.append(text)
                self._log.write(text + "\n")
            self._log.flush()
        return None

    def messages(self, type_=None, user=None):
        """Messages the room received: dicts of time, user, type, to, len and the payload's head."""
        self._read()
        found = []
        for line in self.lines:
            m = re.match(r"([\d.]+) msg (\d+) type (\d+) to (\d+) len (\d+) (\S+)", line)
            if not m:
                continue
            entry = dict(time=float(m.group(1)), user=int(m.group(2)), type=int(m.group(3)), to=int(m.group(4)),
                         len=int(m.group(5)), head=m.group(6))
            if (type_ is None or entry["type"] == type_) and (user is None or entry["user"] == user):
                found.append(entry)
        return found

    def joined(self):
        self._read()
        users = set()
        for line in self.lines:
            m = re.match(r"[\d.]+ (join|leave) (\d+)", line)
            if m:
                (users.add if m.group(1) == "join" else users.discard)(int(m.group(2)))
        return users

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
        self._read()
        self._log.close()


def launch_link(**items):
    text = "&".join("%s=%s" % (k, v) for k, v in items.items())
    return "Lumenvalep://" + base64.b64encode(text.encode()).decode()


class Client:
    """One user: a client of the build on its own display, prefix and data folder."""

    def __init__(self, name, wine, xvfb, bindir, data, link, places_program):
        self.name, self.wine, self.xvfb, self.bindir, self.data = name, wine, xvfb, bindir, data
        self.screen = Screen(xvfb.display)
        self._places_program = places_program
        os.makedirs(data, exist_ok=True)
        self.process = wine.start(os.path.join(bindir, "Lumenvale.exe"), link, cwd=bindir,
                                  env={"LUMENVALE_DATA_FOLDER": wine.windows_path(data)},
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.window = None
        self.origin = (0, 0)
        self.size = (0, 0)

    def xdotool(self, *args):
        result = subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=self.xvfb.display),
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        return result.stdout

    def find_window(self, name, timeout=30):
        """The visible top-level window of that name (its id, place and size)."""
        def found():
            ids = self.xdotool("search", "--onlyvisible", "--name", "^%s$" % name).split()
            return ids[-1] if ids else None
        window = wait_for("%s's window %s" % (self.name, name), found, timeout, 0.2)
        shell = self.xdotool("getwindowgeometry", "--shell", window)
        geometry = dict(line.split("=", 1) for line in shell.split() if "=" in line)
        return window, (int(geometry["X"]), int(geometry["Y"])), (int(geometry["WIDTH"]), int(geometry["HEIGHT"]))

    def wait_main_window(self, timeout=60):
        self.window, self.origin, self.size = self.find_window("LumenvaleV2", timeout)

    def places(self, skin_file, size, *overrides):
        """Control name -> (left, top, right, bottom) in the window, laid out by the UI layer from the shipped skin."""
        output = self.wine.run(self._places_program, self.wine.windows_path(os.path.join(self.bindir, "skin")),
                               skin_file, str(size[0]), str(size[1]), *overrides, cwd=self.bindir,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if output.returncode != 0:
            raise Failure("skin_places failed: " + output.stderr)
        places = {}
        for line in output.stdout.splitlines():
            parts = line.split()
            if len(parts) == 5:
                places.setdefault(parts[0], tuple(int(v) for v in parts[1:]))
        return places

    def click(self, place, origin=None, dx=None, dy=None):
        ox, oy = origin or self.origin
        left, top, right, bottom = place
        x = ox + (left + right) // 2 if dx is None else ox + left + dx
        y = oy + (top + bottom) // 2 if dy is None else oy + top + dy
        self.xdotool("mousemove", str(x), str(y), "click", "1")

    def type_line(self, place, text):
        self.click(place)
        time.sleep(0.2)
        self.xdotool("type", "--delay", "15", text)
        self.xdotool("key", "Return")

    def grab(self, place, origin=None):
        ox, oy = origin or self.origin
        left, top, right, bottom = place
        return self.screen.grab(ox + left, oy + top, right - left, bottom - top)

    def copy_text(self, place):
        """What a user gets by selecting all of an edit's text and copying it."""
        self.click(place)
        time.sleep(0.2)
        self.xdotool("key", "ctrl+a")
        self.xdotool("key", "ctrl+c")
        time.sleep(0.3)
        try:
            result = subprocess.run(["xclip", "-selection", "clipboard", "-o"], env=dict(os.environ, DISPLAY=self.xvfb.display),
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=10)
        except subprocess.TimeoutExpired:
            return ""
        return result.stdout.decode("utf-8", "replace")

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.xvfb.display, "-window", "root", path],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def database(self, user_id):
        return os.path.join(self.data, "LocalDB", str(user_id), "dat_03.db")

    def query(self, user_id, sql):
        path = self.database(user_id)
        if not os.path.exists(path):
            return []
        result = subprocess.run(["sqlite3", "-readonly", "-separator", "|", path, sql], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if result.returncode != 0:
            return []  # the writer may hold the file for a moment
        return [line.split("|") for line in result.stdout.splitlines()]

    def log_text(self):
        path = os.path.join(self.data, "Log", "log.txt")
        if not os.path.exists(path):
            return ""
        raw = open(path, "rb").read()
        for encoding in ("utf-8", "utf-16"):
            try:
                return raw.decode(encoding)
            except UnicodeDecodeError:
                pass
        return raw.decode("latin-1")

    def running(self):
        return self.process.poll() is None

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
        self.screen.close()


class Class:
    """The room and the two users: teacher (id 7) and student (id 21)."""

    TEACHER, STUDENT = 7, 21

    def __init__(self, build, source, wine, wineserver, arch, out, seconds=300):
        self.build, self.source, self.out = build, source, out
        self.bindir = os.path.join(build, "bin")
        os.makedirs(out, exist_ok=True)
        self._started = []
        self.wines = []
        self.room = None
        try:
            self._start(wine, wineserver, arch, seconds)
        except BaseException:
            self.close()
            raise

    def _start(self, wine, wineserver, arch, seconds):
        build, source, out = self.build, self.source, self.out
        self.displays = [Xvfb(os.path.join(out, "xvfb-%s.log" % name)) for name in ("teacher", "student")]
        self._started.extend(self.displays)
        # The room runs in the suite's prefix; each client in its own (the single-instance rule holds per prefix).
        self.room_wine = Wine(wine, wineserver, arch, os.environ.get("WINEPREFIX", os.path.join(build, "wineprefix")),
                              os.environ.get("DISPLAY", self.displays[0].display))
        self.wines = [Wine(wine, wineserver, arch, os.path.join(build, "e2e", name + "-prefix"), xvfb.display)
                      for name, xvfb in zip(("teacher", "student"), self.displays)]
        # A new prefix takes about 20 s: both are made at once, and kept for the next run.
        for preparing in [w.prepare(source) for w in self.wines]:
            if preparing.wait() != 0:
                raise Failure("could not prepare a Wine prefix")
        self.places_program = os.path.join(self.bindir, "skin_places.exe")
        self.room = Room(self.room_wine, self.bindir, os.path.join(out, "room.log"), seconds)
        common = dict(roomid=5, roomname="Two clients", serverip="127.0.0.1", serverport=self.room.port)
        self.teacher = self._client("teacher", 0, launch_link(**common, userid=self.TEACHER, username="ann",
                                                              screenname="Ms Ann", roletype=2, sex=2))
        self._student_link = launch_link(**common, userid=self.STUDENT, username="ben", screenname="Ben",
                                         roletype=4, sex=1)
        self.student = self._client("student", 1, self._student_link)
        self.teacher.wait_main_window()
        self.student.wait_main_window()

    def restart_student(self):
        """The student closes the client and joins again: the new window loads the room's history."""
        self.student.stop()
        self._started.remove(self.student)
        wait_for("the room to see the student leave", lambda: self.STUDENT not in self.room.joined(), 20, 0.2)
        self.student = self._client("student", 1, self._student_link)
        self.student.wait_main_window()
        wait_for("the room to see the student again", lambda: self.STUDENT in self.room.joined(), 30, 0.2)

    def _client(self, name, index, link):
        data = os.path.join(self.out, name + "-data")
        shutil.rmtree(data, ignore_errors=True)
        client = Client(name, self.wines[index], self.displays[index], self.bindir, data, link, self.places_program)
        self._started.append(client)
        return client

    def close(self):
        for thing in reversed(self._started):
            try:
                thing.stop()
            except Exception:  # keep tearing down the rest
                pass
        if self.room:
            self.room.stop()
        for w in self.wines:
            w.kill_server()
