"""Drives the real Corvane window on an X display as a person does: keys and clicks through
xdotool, the clipboard and primary selection owned by xclip or by nobody, dialogs answered as they
come. Watches the program: its exit, whether its window still answers the window manager's ping,
and what the sanitizers print."""
import os
import re
import subprocess
import threading
import time

from Xlib import X, display, protocol
from Xlib.protocol import request

# The window's design: client area in pixels at 96 dpi, below a menu bar of this height.
DESIGN_WIDTH = 1025
DESIGN_HEIGHT = 673
MENU_BAR = 23
TWIPS_PER_PIXEL = 15

# Controls by their design geometry in twips (left, top, width, height) in the client area.
CONTROLS = {
    "Command1": (9240, 240, 1455, 375),
    "Label1": (0, 480, 2415, 255),
    "Label4": (2520, 480, 2295, 255),
    "Label5": (4920, 480, 2175, 255),
    "Label3": (12840, 480, 2175, 255),
    "panes": (0, 720, 7215, 9375),
    "WebBrowser1": (7200, 720, 8175, 9375),
}
# Toolbar buttons by key, in order; a separator stands before the alignment group.
TOOL_KEYS = ["新建", "打开", "保存", "打印", "剪切", "复制", "粘贴", "字体", "字体颜色", "粗体", "斜体", "下划线",
             "左对齐", "置中", "右对齐"]

SANITIZER_REPORT = re.compile(r"ERROR: AddressSanitizer|ERROR: LeakSanitizer|runtime error:|SUMMARY: \w+Sanitizer")


def xdotool(*args, check=False):
    return subprocess.run(["xdotool", *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True, check=check).stdout.strip()


class Selections:
    """The clipboard and the primary selection as other programs leave them: owned by a program
    that offers text (or only a picture), or owned by nobody, as after a login or after the program
    that copied has exited."""

    def __init__(self):
        self.owners = {}

    def own(self, selection, data, target="UTF8_STRING"):
        self.release(selection)
        owner = subprocess.Popen(["xclip", "-quiet", "-selection", selection, "-target", target, "-i"],
                                 stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        owner.stdin.write(data)
        owner.stdin.close()
        self.owners[selection] = owner
        # xclip takes the selection once it has read its input.
        deadline = time.time() + 5
        while time.time() < deadline and self.owner_of(selection) == 0:
            time.sleep(0.02)

    def empty(self, selection):
        """Nobody owns it any more: its owner exits, or the selection is dropped."""
        self.release(selection)
        d = display.Display()
        atom = d.intern_atom(selection.upper())
        request.SetSelectionOwner(display=d.display, window=X.NONE, selection=atom, time=X.CurrentTime)
        d.sync()
        d.close()

    def release(self, selection):
        owner = self.owners.pop(selection, None)
        if owner is not None:
            owner.kill()
            owner.wait()

    @staticmethod
    def owner_of(selection):
        d = display.Display()
        owner = d.get_selection_owner(d.intern_atom(selection.upper()))
        d.close()
        return owner if isinstance(owner, int) else owner.id

    def close(self):
        for selection in list(self.owners):
            self.release(selection)


class Pinger(threading.Thread):
    """Sends the window manager's ping (_NET_WM_PING) to the window every half second and notes
    when the program last answered: the answer comes from the window's own event loop, so a
    window that is busy or stuck stops answering."""

    def __init__(self, window):
        super().__init__(daemon=True)
        self.window = window
        self.last_answer = time.time()
        self.stopped = False

    def run(self):
        d = display.Display()
        # The window goes away when the program ends; that is told by the program's exit.
        d.set_error_handler(lambda *args: None)
        root = d.screen().root
        # Qt answers to the root window for clients that select its structure changes.
        root.change_attributes(event_mask=X.StructureNotifyMask)
        protocols = d.intern_atom("WM_PROTOCOLS")
        ping = d.intern_atom("_NET_WM_PING")
        target = d.create_resource_object("window", self.window)
        stamp = 1
        while not self.stopped:
            event = protocol.event.ClientMessage(window=target, client_type=protocols,
                                                 data=(32, [ping, stamp, self.window, 0, 0]))
            try:
                target.send_event(event, event_mask=X.NoEventMask)
                d.flush()
            except Exception:
                return
            deadline = time.time() + 0.5
            while time.time() < deadline:
                while d.pending_events():
                    answer = d.next_event()
                    if (answer.type == X.ClientMessage and answer.client_type == protocols
                            and answer.data[1][0] == ping and answer.data[1][1] == stamp):
                        self.last_answer = time.time()
                time.sleep(0.02)
            stamp += 1

    def silent_for(self):
        return time.time() - self.last_answer


class Editor:
    """The running program and its main window."""

    def __init__(self, exe, log_path, args=()):
        self.log_path = log_path
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen([exe, *args], stdout=self.log, stderr=subprocess.STDOUT)
        self.window = self._wait_for_window()
        self.pinger = Pinger(self.window)
        self.pinger.start()
        self.activate()

    def _wait_for_window(self, seconds=60):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if self.process.poll() is not None:
                raise Failure(f"the program ended before its window appeared (exit {self.process.returncode})")
            # The first of the program's windows so named: a box the program shows at start can
            # carry the program's name for a moment, and X gives a client's windows rising ids.
            found = xdotool("search", "--all", "--pid", self.process.pid, "--name", r"^Corvane")
            if found:
                return min(int(w) for w in found.split())
            time.sleep(0.1)
        raise Failure("no window titled Corvane")

    def activate(self):
        xdotool("windowactivate", "--sync", self.window)

    def alive(self):
        return self.process.poll() is None

    def sanitizer_report(self):
        self.log.flush()
        with open(self.log_path, "rb") as f:
            text = f.read().decode("utf-8", "replace")
        match = SANITIZER_REPORT.search(text)
        return text[match.start():match.start() + 4000] if match else None

    def check(self, hang_seconds=10):
        """Raises Failure when the program has ended, stopped answering or reported a fault."""
        if not self.alive():
            raise Failure(f"the program ended (exit {self.process.returncode})")
        if self.pinger.silent_for() > hang_seconds:
            raise Failure(f"the window has not answered for {self.pinger.silent_for():.0f} s")
        report = self.sanitizer_report()
        if report:
            raise Failure("sanitizer report:\n" + report)

    def geometry(self):
        """The client area's origin on the screen and its scale against the design."""
        # Read from the X server itself: xdotool's position of a decorated window is off by the
        # window manager's title bar.
        d = display.Display()
        try:
            w = d.create_resource_object("window", self.window)
            size = w.get_geometry()
            origin = w.translate_coords(d.screen().root, 0, 0)
            x, y = -origin.x, -origin.y
        finally:
            d.close()
        return x, y + MENU_BAR, size.width / DESIGN_WIDTH, (size.height - MENU_BAR) / DESIGN_HEIGHT

    def point(self, name, fx=0.5, fy=0.5):
        """A point inside a control, at fractions of its width and height, in screen pixels."""
        left, top, width, height = CONTROLS[name]
        x, y, sx, sy = self.geometry()
        return (int(x + (left + fx * width) / TWIPS_PER_PIXEL * sx),
                int(y + (top + fy * height) / TWIPS_PER_PIXEL * sy))

    def tool_point(self, key):
        index = TOOL_KEYS.index(key)
        x, y, _, sy = self.geometry()
        return x + 15 + 24 * index + (7 if index >= 12 else 0), int(y + 14 * sy)

    def click(self, point, button=1, repeat=1):
        xdotool("mousemove", point[0], point[1])
        xdotool("click", "--repeat", repeat, "--delay", 80, button)

    def dialogs(self):
        """The program's windows that the window manager manages, other than the main window."""
        d = display.Display()
        root = d.screen().root
        clients = root.get_full_property(d.intern_atom("_NET_CLIENT_LIST"), X.AnyPropertyType)
        pid_atom = d.intern_atom("_NET_WM_PID")
        found = []
        for wid in (clients.value if clients else []):
            if wid == self.window:
                continue
            try:
                w = d.create_resource_object("window", wid)
                pid = w.get_full_property(pid_atom, X.AnyPropertyType)
                if pid and pid.value[0] == self.process.pid:
                    found.append((wid, w.get_wm_name() or xdotool("getwindowname", wid)))
            except Exception:
                pass
        d.close()
        return found

    def stop(self, seconds=60):
        """Closes the window as a person does and answers the quit question with Yes."""
        self.activate()
        xdotool("key", "Escape")
        xdotool("key", "alt+f")
        time.sleep(0.3)
        xdotool("key", "x")
        deadline = time.time() + seconds
        # The menu's keys can be lost (the preview's page may have the keyboard, a menu may have
        # been open): without the quit question or the window's end, close it as the title bar's
        # close button does, a few seconds apart. A window that stops answering is still a hang.
        retry = time.time() + 5
        while time.time() < deadline and self.alive():
            dialogs = self.dialogs()
            for wid, _name in dialogs:
                xdotool("windowactivate", "--sync", wid)
                xdotool("key", "Return")
            if dialogs:
                retry = time.time() + 5
            elif time.time() > retry:
                subprocess.run(["wmctrl", "-i", "-c", hex(self.window)], check=False)
                retry = time.time() + 5
            if self.alive() and self.pinger.silent_for() > 10:
                raise Failure(f"the window has not answered for {self.pinger.silent_for():.0f} s while closing")
            time.sleep(0.3)
        self.pinger.stopped = True
        if self.alive():
            raise Failure("the window did not close")
        return self.process.returncode

    def kill(self):
        self.pinger.stopped = True
        if self.alive():
            self.process.kill()
            self.process.wait()
        self.log.close()


class Failure(Exception):
    pass
