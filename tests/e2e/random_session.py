#!/usr/bin/python3
"""A random session in the real window: from a seed, types (Chinese, long lines past the piece
threshold), presses every editing key, pastes with an owned and an empty clipboard and primary
selection, clicks and double-clicks the headers and answers or cancels the dialogs they open,
presses toolbar buttons and the run button, formats from the Text menu, finds and replaces with
the panes' find bar, picks from the preview pane's context menu and resizes the window.
Fails when the program ends, its window stops answering for 10 s or a sanitizer reports; prints
the seed and the last 50 actions, so that `random_session.py --seeds N` replays the run.

Usage: random_session.py <corvane> <artefact folder> [--seeds 1 2 3 | --new-seeds] [--seconds 60]
       [--minutes M]   (with --new-seeds: keep drawing new seeds until M minutes have passed)
Run it on an X display with a window manager (random_session.sh sets one up)."""
import argparse
import collections
import os
import random
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xdriver import Editor, Failure, Selections, xdotool  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "data")

SNIPPETS = [
    '<div class="row"><span>item</span></div>', "<p>", "</p>", "<style>", "</style>", "<script>", "</script>",
    "<!--", "-->", "body { color: red; }", "/* note */", "a:hover{color:#fff}", "function f(a){return a*2}",
    "`tpl ${x}`", "'", '"', "// line", "if (x < 3 && y > 2) {", "}", "\t", "  ", "&amp;", "</scr",
]
CHINESE = ["你好，世界", "中文标点：。！？", "ＡＢＣ全角", "结果显示区", "链接 你好"]
KEYS = [
    "Left", "Right", "Up", "Down", "Home", "End", "Prior", "Next", "ctrl+Home", "ctrl+End", "ctrl+Left",
    "ctrl+Right", "shift+Left", "shift+Right", "shift+Up", "shift+Down", "shift+Home", "shift+End",
    "ctrl+shift+Left", "ctrl+shift+Right", "ctrl+shift+End", "ctrl+shift+Home", "BackSpace", "Delete",
    "ctrl+BackSpace", "ctrl+Delete", "Return", "Tab", "ctrl+a", "ctrl+z", "ctrl+y", "ctrl+shift+z", "ctrl+c",
    "ctrl+x", "ctrl+v", "shift+Insert", "ctrl+Insert", "shift+Delete", "Insert", "Escape", "ctrl+n",
]
# What the find bar is given: words, Chinese, patterns that match across lines and pieces, a pattern
# that does not compile, one that backtracks without end, group references for replace.
FIND_TEXTS = [
    "div", "item", "你好", "ＡＢＣ", "a", "e", "color", ";", "<", "(", "[a-z]+", "(\\w+) (\\w+)", "\\1", "\\2\\1",
    "^", "$", ".*", "(a+)+$", "(x+x+)+y", "[", "\\", "", "}", "x|", "\\b",
]
FIND_KEYS = ["Return", "shift+Return", "Tab", "shift+Tab", "space", "BackSpace", "ctrl+a", "Escape", "alt+Down"]

# Files nobody here wrote, for the Open dialog.
OPEN_FILES = [
    "/usr/share/javascript/jquery/jquery.min.js",
    "/usr/share/doc/ninja-build/manual.html",
    os.path.join(DATA, "libreoffice_zh.rtf"),
    os.path.join(DATA, "libreoffice_en.txt"),
]
OPEN_FILES += sorted(os.path.join(DATA, "encodings", f) for f in os.listdir(os.path.join(DATA, "encodings"))
                     if os.path.getsize(os.path.join(DATA, "encodings", f)) < 300_000)
# The smallest PNG: a picture with no text on the clipboard.
PNG = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010806000000"
                    "1f15c4890000000d49444154789c6360000002000154a24f5d0000000049454e44ae426082")


class Session:
    def __init__(self, editor, rng, work):
        self.editor = editor
        self.rng = rng
        self.work = work
        self.selections = Selections()
        self.actions = collections.deque(maxlen=50)
        self.count = 0
        self.verbose = False

    def note(self, text):
        self.count += 1
        self.actions.append(f"{self.count}: {text}")
        if self.verbose:
            print(f"  {self.count}: {text} (window silent for {self.editor.pinger.silent_for():.1f} s)", flush=True)

    # --- the person's actions ---

    def type_text(self):
        r = self.rng.random()
        if r < 0.45:
            text = "".join(self.rng.choice(SNIPPETS) for _ in range(self.rng.randint(1, 4)))
        elif r < 0.8:
            text = self.rng.choice(CHINESE)
        else:
            # A line past the piece threshold, typed.
            text = "".join(self.rng.choice("abcdefg ;{}<>()") for _ in range(self.rng.randint(1001, 1300)))
        self.note(f"type {text[:40]!r}{'...' if len(text) > 40 else ''} ({len(text)} characters)")
        # xdotool types a character outside the keyboard map by remapping a key; slower typing gives
        # the program time to hear of each new map.
        xdotool("type", "--delay", 0 if len(text) > 100 else 4 if text.isascii() else 40, text)

    def key(self):
        k = self.rng.choice(KEYS)
        repeat = self.rng.choice([1, 1, 1, 3, 10])
        self.note(f"key {k} x{repeat}")
        xdotool("key", "--repeat", repeat, "--delay", 10, k)

    def clipboard(self):
        selection = self.rng.choice(["clipboard", "primary"])
        r = self.rng.random()
        if r < 0.35:
            self.note(f"{selection} emptied (no owner)")
            self.selections.empty(selection)
        elif r < 0.5:
            self.note(f"{selection} holds a picture only")
            self.selections.own(selection, PNG, "image/png")
        else:
            kind = self.rng.choice(["short", "chinese", "long", "lines", "empty-text"])
            data = {
                "short": "<b>pasted</b>",
                "chinese": "粘贴的中文",
                "long": "var q=" + "".join(self.rng.choice("xyz+-*/();") for _ in range(5000)) + ";",
                "lines": "a\nb\r\nc\rd\n",
                "empty-text": "",
            }[kind]
            self.note(f"{selection} owned with {kind} text ({len(data)} characters)")
            self.selections.own(selection, data.encode())
        # A paste right after, into the pane that has the focus or where the mouse is.
        how = self.rng.choice(["ctrl+v", "shift+Insert", "middle", "none"])
        if how == "middle":
            self.note("middle click into the panes")
            self.editor.click(self.editor.point("panes", self.rng.random(), self.rng.random()), button=2)
        elif how != "none":
            self.note(f"paste with {how}")
            xdotool("key", how)

    def header(self):
        name = self.rng.choice(["Label1", "Label4", "Label5"])
        double = self.rng.random() < 0.35
        self.note(f"{'double-' if double else ''}click header {name}")
        self.editor.click(self.editor.point(name, 0.3), repeat=2 if double else 1)

    def pane_mouse(self):
        p = self.editor.point("panes", self.rng.uniform(0.02, 0.95), self.rng.uniform(0.02, 0.95))
        r = self.rng.random()
        if r < 0.4:
            self.note(f"click pane at {p}")
            self.editor.click(p)
        elif r < 0.55:
            self.note(f"double-click pane at {p}")
            self.editor.click(p, repeat=2)
        elif r < 0.7:
            q = self.editor.point("panes", self.rng.uniform(0.02, 0.95), self.rng.uniform(0.02, 0.95))
            self.note(f"drag-select in pane from {p} to {q}")
            xdotool("mousemove", *p)
            xdotool("mousedown", 1)
            xdotool("mousemove", *q)
            xdotool("mouseup", 1)
        elif r < 0.85:
            self.note(f"middle click pane at {p}")
            self.editor.click(p, button=2)
        else:
            downs = self.rng.randint(0, 9)
            self.note(f"context menu of the pane at {p}, item {downs}")
            self.editor.click(p, button=3)
            time.sleep(0.3)
            if downs:
                xdotool("key", "--repeat", downs, "--delay", 20, "Down")
            xdotool("key", self.rng.choice(["Return", "Escape"]))

    def toolbar(self):
        key = self.rng.choice(["新建", "打开", "保存", "打印", "剪切", "复制", "粘贴", "字体", "字体颜色", "粗体", "斜体",
                               "下划线", "左对齐", "置中", "右对齐"])
        self.note(f"toolbar button {key}")
        self.editor.click(self.editor.tool_point(key))

    def menu(self):
        bar, item = self.rng.choice([
            ("f", "n"), ("f", "o"), ("f", "s"), ("f", "a"), ("f", "p"), ("e", "t"), ("e", "c"), ("e", "p"),
            ("v", "t"), ("t", "f"), ("t", "a"), ("t", "b"), ("t", "i"), ("t", "u"), ("t", "l"), ("t", "c"),
            ("t", "r")])
        self.note(f"menu alt+{bar} {item}")
        xdotool("key", f"alt+{bar}")
        time.sleep(0.25)
        xdotool("key", item)

    def file_key(self):
        k = self.rng.choice(["F1", "F2", "F3"])
        self.note(f"key {k}")
        xdotool("key", k)

    def run_button(self):
        self.note("run button")
        self.editor.click(self.editor.point("Command1"))

    def contact(self):
        self.note("click the contact label")
        self.editor.click(self.editor.point("Label3"))

    def preview(self):
        p = self.editor.point("WebBrowser1", self.rng.random(), self.rng.random())
        self.note(f"click and scroll the preview at {p}")
        self.editor.click(p)
        xdotool("click", "--repeat", 3, self.rng.choice([4, 5]))

    def find_bar(self):
        """Opens the find bar in the pane with the focus (or types into it when it is open), then
        presses a few of the keys a person uses there: Enter, Shift+Enter, Tab round its fields,
        options and buttons, Space on them, Esc."""
        opener = self.rng.choice(["ctrl+f", "ctrl+h", "none"])
        if opener != "none":
            self.note(f"key {opener}")
            xdotool("key", opener)
        text = self.rng.choice(FIND_TEXTS)
        self.note(f"type into the find bar {text!r}")
        if text:
            xdotool("type", "--delay", 4 if text.isascii() else 40, text)
        for _ in range(self.rng.randint(1, 5)):
            k = self.rng.choice(FIND_KEYS)
            self.note(f"find bar key {k}")
            xdotool("key", "--delay", 10, k)

    def preview_menu(self):
        """Right-clicks the preview and picks an item of its context menu, or closes the menu."""
        p = self.editor.point("WebBrowser1", self.rng.uniform(0.1, 0.9), self.rng.uniform(0.1, 0.9))
        downs = self.rng.randint(0, 6)
        k = self.rng.choice(["Return", "Return", "Escape"])
        self.note(f"right-click the preview at {p}, Down x{downs}, {k}")
        self.editor.click(p, button=3)
        time.sleep(0.3)
        if downs:
            xdotool("key", "--repeat", downs, "--delay", 30, "Down")
        xdotool("key", k)

    def resize(self):
        if self.rng.random() < 0.3:
            self.note("maximise or restore")
            subprocess.run(["wmctrl", "-i", "-r", hex(self.editor.window), "-b", "toggle,maximized_vert,maximized_horz"],
                           check=False)
        else:
            w, h = self.rng.randint(400, 1270), self.rng.randint(300, 780)
            self.note(f"resize to {w}x{h}")
            subprocess.run(["wmctrl", "-i", "-r", hex(self.editor.window), "-b", "remove,maximized_vert,maximized_horz"],
                           check=False)
            xdotool("windowsize", self.editor.window, w, h)

    # --- dialogs ---

    def answer_dialogs(self, wait):
        """Answers whatever dialogs the program shows, waiting up to `wait` seconds for the first."""
        deadline = time.time() + wait
        answered = 0
        while True:
            self.editor.check()
            found = self.editor.dialogs()
            if not found:
                if time.time() > deadline or answered:
                    return
                time.sleep(0.1)
                continue
            wid, title = found[-1]
            # Let the dialog settle: a file dialog reads its folder before it takes keys.
            time.sleep(0.4)
            xdotool("windowactivate", "--sync", wid)
            self.answer(title)
            answered += 1
            if answered > 20:
                raise Failure(f"dialog {title!r} keeps coming back")
            time.sleep(0.3)

    def answer(self, title):
        r = self.rng.random()
        if title == "另存为" and r < 0.5:
            ext = self.rng.choice([".html", ".css", ".js", ".txt"])
            path = os.path.join(self.work, "saved", f"file{self.rng.randint(0, 5)}{ext}")
            self.note(f"Save As dialog: {path}")
            xdotool("key", "ctrl+a")
            xdotool("type", "--delay", 2, path)
            xdotool("key", "Return")
        elif title == "打开" and r < 0.6:
            path = self.rng.choice(OPEN_FILES)
            self.note(f"Open dialog: {path}")
            xdotool("key", "ctrl+a")
            xdotool("type", "--delay", 2, path)
            xdotool("key", "Return")
        else:
            k = self.rng.choice(["Escape", "Return"]) if title not in ("另存为", "打开") else "Escape"
            self.note(f"dialog {title!r}: {k}")
            xdotool("key", k)

    def step(self):
        action = self.rng.choices(
            [self.type_text, self.key, self.clipboard, self.header, self.pane_mouse, self.toolbar, self.menu,
             self.file_key, self.run_button, self.contact, self.preview, self.resize, self.find_bar,
             self.preview_menu],
            weights=[18, 26, 10, 7, 12, 6, 7, 2, 3, 1, 2, 3, 6, 2])[0]
        if not self.editor.dialogs():
            active = xdotool("getactivewindow")
            if active != str(self.editor.window):
                self.editor.activate()
        action()
        may_open_dialog = action in (self.header, self.toolbar, self.menu, self.file_key, self.preview_menu)
        self.answer_dialogs(2.5 if may_open_dialog else 0.0)
        time.sleep(self.rng.choice([0.0, 0.05, 0.2]))
        self.editor.check()


def run_seed(exe, artefacts, seed, seconds, verbose=False):
    work = tempfile.mkdtemp(prefix=f"random-session-{seed}-")
    os.makedirs(os.path.join(work, "saved"))
    env_home = os.path.join(work, "home")
    os.makedirs(env_home)
    os.environ.update(HOME=env_home, XDG_CACHE_HOME=os.path.join(work, "cache"),
                      XDG_STATE_HOME=os.path.join(work, "state"), XDG_CONFIG_HOME=os.path.join(work, "config"))
    log = os.path.join(artefacts, f"random-session-{seed}.log")
    rng = random.Random(seed)
    session = None
    editor = None
    try:
        editor = Editor(exe, log)
        session = Session(editor, rng, work)
        session.verbose = verbose
        deadline = time.time() + seconds
        while time.time() < deadline:
            session.step()
        session.note("close the window, answer the question")
        code = editor.stop()
        report = editor.sanitizer_report()
        if report:
            raise Failure("sanitizer report at exit:\n" + report)
        if code != 0:
            raise Failure(f"the program ended with exit {code} when closed")
        print(f"seed {seed}: {session.count} actions in {seconds} s, no fault")
        return True
    except Failure as failure:
        print(f"FAIL: seed {seed}: {failure}")
        shot = os.path.join(artefacts, f"random-session-{seed}.png")
        subprocess.run(["import", "-window", "root", shot], check=False, stderr=subprocess.DEVNULL)
        if session is not None:
            print(f"the last {len(session.actions)} actions (replay: random_session.py --seeds {seed}):")
            for line in session.actions:
                print("  " + line)
        print(f"program output: {log}; screen: {shot}")
        return False
    finally:
        if session is not None:
            session.selections.close()
        if editor is not None:
            editor.kill()
        subprocess.run(["rm", "-rf", work], check=False)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("artefacts")
    parser.add_argument("--seeds", type=int, nargs="*", default=[1])
    parser.add_argument("--new-seeds", action="store_true")
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--minutes", type=float, default=0)
    parser.add_argument("--verbose", action="store_true", help="print every action as it happens")
    args = parser.parse_args()
    os.makedirs(args.artefacts, exist_ok=True)
    exe = os.path.abspath(args.exe)
    ok = True
    if args.new_seeds:
        end = time.time() + args.minutes * 60
        runs = 0
        while time.time() < end or runs == 0:
            seed = random.SystemRandom().randrange(1, 2**31)
            ok = run_seed(exe, args.artefacts, seed, args.seconds, args.verbose) and ok
            runs += 1
            sys.stdout.flush()
    else:
        for seed in args.seeds:
            ok = run_seed(exe, args.artefacts, seed, args.seconds, args.verbose) and ok
            sys.stdout.flush()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
