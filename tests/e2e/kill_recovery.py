"""The recovery journal against what ends a program without asking, in the real window.

- kill -9 at a random moment while typing into the three panes, again and again: the journal the
  killed editor left holds exactly what was typed up to at most two seconds before the kill, and
  nothing that was not typed; every fifth time the next start offers it, "是" brings it back (the
  new editor's journal holds the same panes, the old one is gone) and a close on purpose leaves
  no journal.
- A full disk (a small tmpfs as the state folder): typing goes on, the editor says once that it
  cannot keep a recovery copy, keeps trying, and once there is room the journal holds everything.
- A state folder that is not writable (a read-only mount), a state folder that is another user's
  link, and a link another user planted at a journal's name: nothing is written through them, the
  editor says so once and still runs.
- Two editors started at once with two journals left: each journal is offered exactly once.
The mounts need root; without it those cases are skipped and say so."""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))
from xdriver import Editor, Failure, xdotool  # noqa: E402

RECOVER_TITLE = "恢复未保存的内容"
FAILED_TITLE = "无法保存恢复副本"
ALPHABET = "abcdefghijklmnopqrstuvwxyz0123456789{};:=/ "
HEADERS = {"html": "Label1", "css": "Label4", "js": "Label5"}
GRACE = 2.0  # seconds of typing a kill may cost


def read_journal(path):
    """The panes' texts of a journal, by pane name, or None when it is not one whole journal with
    its bases. The texts typed here are ASCII: a copy base is read as UTF-8."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    body, end = data[:-13], data[-13:]
    if not end.startswith(b"end ") or not end.endswith(b"\n"):
        return None
    try:
        if int(end[4:12], 16) != zlib.crc32(body):
            return None
    except ValueError:
        return None
    lines = body.split(b"\n", 3)
    if lines[0] != b"CORVANE JOURNAL 2":
        return None
    count = int(lines[2].split()[1])
    rest = lines[3]
    panes = {}
    for _ in range(count):
        fields, edits = {}, []
        while True:
            line, rest = rest.split(b"\n", 1)
            key, value = line.split(b" ", 1)
            if key in (b"file", b"text", b"name", b"insert"):
                n = int(value)
                value, rest = rest[:n], rest[n + 1:]
            if key == b"insert":
                edits.append((int(fields[b"at"]), int(fields[b"removed"]), value))
            else:
                fields[key] = value
            if key == b"edits" and int(value) == 0 or key == b"insert" and len(edits) == int(fields[b"edits"]):
                break
        if fields[b"base"] == b"inline":
            base = fields[b"text"]
        else:
            try:
                with open(os.path.join(os.path.dirname(path), fields[b"name"].decode()), "rb") as f:
                    base = f.read()
            except OSError:
                return None
            if len(base) != int(fields[b"bytes"]) or zlib.crc32(base) != int(fields[b"basecrc"]):
                return None
            if fields[b"base"] == b"copy":
                base = base.replace(b"\r\n", b"\n")
        units = bytearray(base.decode("utf-8", "surrogateescape").encode("utf-16-le", "surrogatepass"))
        for at, removed, inserted in edits:
            if 2 * (at + removed) > len(units):
                return None
            units[2 * at:2 * (at + removed)] = inserted
        panes[fields[b"pane"].decode()] = bytes(units).decode("utf-16-le", "surrogatepass")
    return panes


def journals(state):
    folder = os.path.join(state, "corvane")
    if not os.path.isdir(folder):
        return []
    return sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.endswith(".journal"))


def wait_for(condition, seconds, what):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise Failure(f"waited {seconds} s for {what}")


def boxes(editor, title):
    # The name as the window manager shows it (_NET_WM_NAME, UTF-8), not the Latin-1 WM_NAME.
    return [wid for wid, _ in editor.dialogs() if xdotool("getwindowname", wid) == title]


def answer(editor, wid, key="Return"):
    xdotool("windowactivate", "--sync", wid)
    xdotool("key", key)


def start(exe, state, log):
    os.environ["XDG_STATE_HOME"] = state
    editor = Editor(exe, log)
    return editor


def go_to(editor, pane):
    """Into a pane with the caret at its end, as a person clicks its header and then into it."""
    editor.activate()
    editor.click(editor.point(HEADERS[pane], 0.3))
    editor.click(editor.point("panes", 0.5, 0.9))
    xdotool("key", "ctrl+End")


def type_into(editor, pane, text):
    go_to(editor, pane)
    xdotool("type", "--delay", 15, text)


def new_html(editor):
    """New empties the HTML pane of its start-up text, so what is typed is all it holds."""
    for _ in range(10):
        # A key pressed while the window manager is still handing the new window the keyboard is
        # lost: the window is activated again before each try.
        editor.activate()
        editor.click(editor.point("panes", 0.5, 0.9))
        xdotool("key", "ctrl+n")
        deadline = time.time() + 2
        while time.time() < deadline:
            if xdotool("getwindowname", editor.window) == "Corvane":
                return
            time.sleep(0.05)
    raise Failure("New did not take")


def kill_while_typing(exe, work, artefacts, rng, run, restore):
    state = os.path.join(work, f"state-{run}")
    editor = start(exe, state, os.path.join(artefacts, "kill-recovery.log"))
    try:
        new_html(editor)
        typed = {p: "" for p in HEADERS}
        sent = []  # (time the keys were sent, pane, characters typed into it so far)
        stop_at = time.time() + rng.uniform(1.0, 6.0)
        while time.time() < stop_at:
            pane = rng.choice(list(HEADERS))
            go_to(editor, pane)
            for _ in range(rng.randint(1, 6)):
                chunk = "".join(rng.choice(ALPHABET) for _ in range(rng.randint(1, 4)))
                xdotool("type", "--delay", 15, chunk)
                typed[pane] += chunk
                sent.append((time.time(), pane, len(typed[pane])))
                if time.time() >= stop_at:
                    break
        killed_at = time.time()
    finally:
        editor.kill()
    required = {p: 0 for p in HEADERS}
    for when, pane, length in sent:
        if when <= killed_at - GRACE:
            required[pane] = length
    left = journals(state)
    if len(left) != 1:
        raise Failure(f"run {run}: {len(left)} journals after the kill")
    kept = read_journal(left[0])
    if kept is None:
        raise Failure(f"run {run}: the journal the kill left cannot be read")
    for pane in HEADERS:
        got = kept.get(pane, "")
        if not typed[pane].startswith(got):
            raise Failure(f"run {run}: the {pane} pane's journal holds {got!r}, which was never typed "
                          f"(typed {typed[pane]!r})")
        if len(got) < required[pane]:
            raise Failure(f"run {run}: the {pane} pane's journal holds {len(got)} characters, "
                          f"{required[pane]} were typed {GRACE} s before the kill")
    lost = sum(len(typed[p]) - len(kept.get(p, "")) for p in HEADERS)
    if restore:
        editor = start(exe, state, os.path.join(artefacts, "kill-recovery.log"))
        try:
            question = wait_for(lambda: boxes(editor, RECOVER_TITLE), 20, "the question at start")
            answer(editor, question[0])
            wait_for(lambda: not os.path.exists(left[0]) and len(journals(state)) == 1, 20,
                     "the old journal to make way for the new one")
            restored = read_journal(journals(state)[0])
            if {p: t for p, t in (restored or {}).items()} != kept:
                raise Failure(f"run {run}: brought back {restored!r}, the journal held {kept!r}")
            editor.stop()
            if journals(state):
                raise Failure(f"run {run}: a journal is left after closing on purpose")
        finally:
            editor.kill()
    shutil.rmtree(state, ignore_errors=True)
    return lost


def mounted(where, options):
    os.makedirs(where, exist_ok=True)
    return subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", where],
                          stderr=subprocess.DEVNULL).returncode == 0


def full_disk(exe, work, artefacts):
    state = os.path.join(work, "full")
    if not mounted(state, "size=256k,mode=0700"):
        print("SKIP full disk: cannot mount a tmpfs (not root?)")
        return
    editor = None
    try:
        editor = start(exe, state, os.path.join(artefacts, "kill-recovery-full.log"))
        type_into(editor, "css", "abc")
        wait_for(lambda: journals(state) and (read_journal(journals(state)[0]) or {}).get("css") == "abc", 10,
                 "the first journal")
        journal = journals(state)[0]
        filler = os.path.join(state, "filler")
        fd = os.open(filler, os.O_WRONLY | os.O_CREAT, 0o600)
        try:
            while True:
                os.write(fd, b"\0" * 4096)
        except OSError:
            pass
        finally:
            os.close(fd)
        type_into(editor, "css", "d")
        box = wait_for(lambda: boxes(editor, FAILED_TITLE), 15, "the word that no recovery copy can be kept")
        # Typing goes on meanwhile, and the journal is tried again; the person is told only once.
        for _ in range(12):
            xdotool("type", "--delay", 15, "xy")
            time.sleep(1)
            editor.check()
        if len(boxes(editor, FAILED_TITLE)) != 1:
            raise Failure(f"full disk: told {len(boxes(editor, FAILED_TITLE))} times")
        if (read_journal(journal) or {}).get("css") != "abc":
            raise Failure("full disk: the last whole journal was damaged")
        os.remove(filler)
        answer(editor, box[0])
        editor.activate()

        def holds_all():
            kept = read_journal(journal) if os.path.exists(journal) else None
            return kept and kept.get("css", "").startswith("abc") and kept["css"].endswith("xy" * 12)
        wait_for(holds_all, 15, "the journal to hold everything once there is room")
        print("full disk: told once, typing went on, the journal caught up")
    finally:
        if editor:
            editor.kill()
        subprocess.run(["umount", state], check=False)


def unusable_folders(exe, work, artefacts):
    cases = []
    readonly = os.path.join(work, "readonly")
    if mounted(readonly, "size=64k,ro"):
        cases.append(("a read-only state folder", readonly, None))
    else:
        print("SKIP read-only folder: cannot mount a tmpfs (not root?)")
    # The state folder is a link another user made to a folder of theirs.
    linked = os.path.join(work, "linked")
    elsewhere = os.path.join(work, "elsewhere")
    os.makedirs(linked)
    os.makedirs(elsewhere)
    os.symlink(elsewhere, os.path.join(linked, "corvane"))
    if os.geteuid() == 0:
        os.chown(elsewhere, 65534, 65534)
        os.lchown(os.path.join(linked, "corvane"), 65534, 65534)
    cases.append(("a state folder that is another user's link", linked, elsewhere))
    for what, state, untouched in cases:
        editor = start(exe, state, os.path.join(artefacts, "kill-recovery-folders.log"))
        try:
            wait_for(lambda: boxes(editor, FAILED_TITLE), 15, f"the word about {what}")
            editor.activate()
            for _ in range(8):
                type_into(editor, "js", "k")
                time.sleep(0.8)
                editor.check()
            if len(boxes(editor, FAILED_TITLE)) != 1:
                raise Failure(f"{what}: told {len(boxes(editor, FAILED_TITLE))} times")
            if untouched and os.listdir(untouched):
                raise Failure(f"{what}: written through: {os.listdir(untouched)}")
            print(f"{what}: told once, nothing written, the editor runs")
        finally:
            editor.kill()
            if state == readonly:
                subprocess.run(["umount", readonly], check=False)


def planted_link(exe, work, artefacts):
    state = os.path.join(work, "planted")
    folder = os.path.join(state, "corvane")
    os.makedirs(folder, mode=0o700)
    victim = os.path.join(work, "victim")
    with open(victim, "w") as f:
        f.write("precious")
    link = os.path.join(folder, "4242-0123456789ab.journal")
    os.symlink(victim, link)
    if os.geteuid() == 0:
        os.lchown(link, 65534, 65534)
    editor = start(exe, state, os.path.join(artefacts, "kill-recovery-planted.log"))
    try:
        told = wait_for(lambda: boxes(editor, RECOVER_TITLE), 15, "the word that a journal cannot be read")
        answer(editor, told[0])
        type_into(editor, "css", "mine")
        wait_for(lambda: any((read_journal(j) or {}).get("css") == "mine" for j in journals(state)), 10,
                 "this editor's own journal")
        with open(victim) as f:
            if f.read() != "precious":
                raise Failure("planted link: written through")
        if not os.path.islink(os.path.join(folder, "discarded", os.path.basename(link))):
            raise Failure("planted link: not moved aside")
        editor.check()
        print("a link planted at a journal's name: never followed, moved aside")
    finally:
        editor.kill()


def two_editors(exe, work, artefacts):
    state = os.path.join(work, "two")
    # Two editors that run at once, each typed into, then killed: two journals left. The second
    # starts while the first runs, so it is offered nothing.
    texts = ["first", "second"]
    running = []
    held = lambda: sorted((read_journal(j) or {}).get("css", "") for j in journals(state))  # noqa: E731
    try:
        for name in texts:
            running.append(start(exe, state, os.path.join(artefacts, f"kill-recovery-two-{name}.log")))
            type_into(running[-1], "css", name)
            wait_for(lambda: name in held(), 10, f"the {name} journal")
        if held() != texts or boxes(running[-1], RECOVER_TITLE):
            raise Failure(f"two editors: the journals hold {held()}, or a running editor's journal was offered")
    finally:
        for editor in running:
            editor.kill()
    left = journals(state)
    editors = [None, None]

    def launch(i):
        editors[i] = start(exe, state, os.path.join(artefacts, f"kill-recovery-two-{i}.log"))
    threads = [threading.Thread(target=launch, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    try:
        if None in editors:
            raise Failure("two editors: one did not start")
        asked = 0
        deadline = time.time() + 30
        while time.time() < deadline and any(os.path.exists(j) for j in left):
            for editor in editors:
                for wid in boxes(editor, RECOVER_TITLE):
                    answer(editor, wid)
                    asked += 1
            time.sleep(0.3)
        time.sleep(2)
        for editor in editors:
            asked += len(boxes(editor, RECOVER_TITLE))
        kept = sorted((read_journal(j) or {}).get("css", "") for j in journals(state))
        if asked != 2 or kept != sorted(texts):
            raise Failure(f"two editors: asked {asked} times, the journals now hold {kept}")
        print("two editors at once: each journal offered once")
    finally:
        for editor in editors:
            if editor:
                editor.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("artefacts")
    parser.add_argument("--runs", type=int, default=50)
    parser.add_argument("--seed", type=int, default=24)
    parser.add_argument("--only", choices=["kills", "faults"])
    args = parser.parse_args()
    os.makedirs(args.artefacts, exist_ok=True)
    work = tempfile.mkdtemp(prefix="kill-recovery-")
    os.environ.update(HOME=os.path.join(work, "home"), XDG_CACHE_HOME=os.path.join(work, "cache"))
    os.makedirs(os.environ["HOME"])
    rng = random.Random(args.seed)
    try:
        if args.only != "faults":
            lost = []
            for run in range(args.runs):
                lost.append(kill_while_typing(args.exe, work, args.artefacts, rng, run, restore=run % 5 == 4))
            print(f"{args.runs} kills while typing: nothing untyped kept, nothing older than {GRACE} s lost "
                  f"(characters lost a kill: at most {max(lost)}, {sum(lost) / len(lost):.1f} on average)")
        if args.only != "kills":
            full_disk(args.exe, work, args.artefacts)
            unusable_folders(args.exe, work, args.artefacts)
            planted_link(args.exe, work, args.artefacts)
            two_editors(args.exe, work, args.artefacts)
        return 0
    except Failure as failure:
        print(f"FAIL: {failure}")
        subprocess.run(["import", "-window", "root", os.path.join(args.artefacts, "kill-recovery-failure.png")],
                       check=False, stderr=subprocess.DEVNULL)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
