#!/usr/bin/python3
"""Pastes into each pane of the real window with nothing to paste: Ctrl+V, Shift+Insert and a
middle click with the clipboard and the primary selection owned by nobody, owned by a program
that offers only a picture, and owned by a program that has since exited. The editor must still
be there and every pane and header as it was (read over AT-SPI, as a screen reader reads them);
then text that is there is pasted as before.
Usage: empty_paste.py <corvane> <artefact folder>   (empty_paste.sh sets up the display and bus)"""
import os
import sys
import time

import pyatspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from random_session import PNG  # noqa: E402
from xdriver import Editor, Failure, Selections, xdotool  # noqa: E402

PANES = [("Label1", "HTML代码编辑区"), ("Label4", "CSS代码编辑区"), ("Label5", "JS代码编辑区")]


def find_app(pid, timeout=30.0):
    deadline = time.time() + timeout
    while time.time() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                pass
        time.sleep(0.5)
    raise Failure("the editor is not on the accessibility bus")


def collect(node, out):
    try:
        role = node.getRoleName()
        if role == "document web":
            return out
        if role in ("text", "label"):
            out.append((role, node))
        for child in node:
            if child is not None:
                collect(child, out)
    except Exception:
        pass
    return out


def state(app):
    """The three panes' texts and the headers' captions."""
    panes, headers = {}, []
    for role, node in collect(app, []):
        if role == "label" and node.name.startswith(tuple(caption for _, caption in PANES)):
            headers.append(node.name)
        elif role == "text" and node.name in dict((c, c) for _, c in PANES):
            text = node.queryText()
            panes[node.name] = text.getText(0, text.characterCount)
    if len(panes) != 3 or len(headers) != 3:
        raise Failure(f"could not read the panes and headers: {sorted(panes)} {headers}")
    return panes, sorted(headers)


def main():
    exe, artefacts = os.path.abspath(sys.argv[1]), sys.argv[2]
    os.makedirs(artefacts, exist_ok=True)
    editor = Editor(exe, os.path.join(artefacts, "empty-paste.log"))
    selections = Selections()
    try:
        app = find_app(editor.process.pid)
        # Something in every pane, typed as a person does.
        for label, _caption in PANES:
            editor.click(editor.point(label, 0.3))
            editor.click(editor.point("panes", 0.5, 0.5))
            xdotool("key", "ctrl+End")
            xdotool("type", "--delay", 5, f" typed into {label}")
        before = state(app)
        print("panes before:", before)

        owners = [
            ("owned by nobody", lambda s: selections.empty(s)),
            ("holding only a picture", lambda s: selections.own(s, PNG, "image/png")),
            ("left by a program that exited", lambda s: (selections.own(s, b"gone"), selections.release(s))),
        ]
        for description, make in owners:
            make("clipboard")
            make("primary")
            for label, caption in PANES:
                editor.click(editor.point(label, 0.3))
                inside = editor.point("panes", 0.4, 0.6)
                editor.click(inside)
                for how in ("ctrl+v", "shift+Insert", "middle click"):
                    if how == "middle click":
                        editor.click(inside, button=2)
                    else:
                        xdotool("key", how)
                    time.sleep(0.3)
                    editor.check()
                    if state(app) != before:
                        raise Failure(f"{how} into the {caption} pane with the clipboard {description} "
                                      f"changed the panes: {state(app)} (was {before})")
            print(f"clipboard and primary selection {description}: Ctrl+V, Shift+Insert and a middle click "
                  "into each pane inserted nothing")

        # Text that is there is pasted as before.
        selections.own("clipboard", "粘贴的文字".encode())
        editor.click(editor.point("Label4", 0.3))
        editor.click(editor.point("panes", 0.5, 0.5))
        xdotool("key", "ctrl+End", "ctrl+v")
        deadline = time.time() + 10
        while time.time() < deadline and not state(app)[0]["CSS代码编辑区"].endswith("粘贴的文字"):
            time.sleep(0.2)
        if not state(app)[0]["CSS代码编辑区"].endswith("粘贴的文字"):
            raise Failure(f"text on the clipboard was not pasted: {state(app)[0]['CSS代码编辑区']!r}")
        editor.check()
        print("empty paste: passed")
        return 0
    except Failure as failure:
        print(f"FAIL: {failure}")
        os.system(f"import -window root {artefacts}/empty-paste.png")
        return 1
    finally:
        selections.close()
        editor.kill()


if __name__ == "__main__":
    sys.exit(main())
