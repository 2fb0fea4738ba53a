#!/usr/bin/python3
"""Reads Corvane's widget tree over AT-SPI, as a screen reader does, and checks that every
control shows up with its caption or text."""
import sys
import time

import pyatspi


def walk(node, depth=0, out=None):
    if out is None:
        out = []
    try:
        out.append((node.getRoleName(), node.name or "", depth))
        for child in node:
            if child is not None:
                walk(child, depth + 1, out)
    except Exception:  # a node that vanished while we read
        pass
    return out


def find_app(timeout=20.0):
    deadline = time.time() + timeout
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name and "corvane" in app.name.lower():
                return app
        time.sleep(0.5)
    return None


def main():
    app = find_app()
    if app is None:
        print("FAIL: corvane is not on the accessibility bus")
        return 1
    nodes = walk(app)
    names = {(role, name) for role, name, _ in nodes}
    for role, name, depth in nodes:
        if name:
            print("  " * depth + f"{role}: {name}")
    expected = [
        ("push button", "运行结果"),
        ("label", "HTML代码编辑区"),
        ("label", "CSS代码编辑区"),
        ("label", "JS代码编辑区"),
        ("label", "结果显示区："),
        ("label", "向开发者提交建议以及错误"),
        ("menu item", "文件(F)"),
        ("menu item", "Qzone"),
        ("push button", "新建"),
        ("push button", "右对齐"),
    ]
    missing = [e for e in expected if e not in names and not any(e[1] == n for _, n in names)]
    texts = [n for r, n in names if r in ("text", "paragraph", "document text") and n]
    for pane in ("HTML代码编辑区", "CSS代码编辑区", "JS代码编辑区"):
        if pane not in texts:
            missing.append(("text", pane))
    if missing:
        print("FAIL: missing from the accessibility tree:", missing)
        return 1
    print("accessibility: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
