#!/usr/bin/python3
"""Reads Corvane's widget tree over AT-SPI, as a screen reader does, and checks that every
control shows up with its caption or text; then presses the run button and reads the page in the
preview."""
import sys
import time

import pyatspi


def walk(node, depth=0, out=None, limit=100000, into_pages=True):
    if out is None:
        out = []
    try:
        if len(out) >= limit:
            return out
        role = node.getRoleName()
        out.append((role, node.name or "", depth))
        if role == "document web" and not into_pages:
            return out
        for child in node:
            if child is not None:
                walk(child, depth + 1, out, limit, into_pages)
    except Exception:  # a node that vanished while we read
        pass
    return out


def find(node, role, name=None):
    try:
        if node.getRoleName() == role and (name is None or node.name == name):
            return node
        for child in node:
            if child is not None:
                found = find(child, role, name)
                if found is not None:
                    return found
    except Exception:
        pass
    return None


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
    nodes = walk(app, into_pages=False)
    names = {(role, name) for role, name, _ in nodes}
    for role, name, depth in nodes:
        if name:
            print("  " * depth + f"{role}: {name}")
    expected = [
        ("push button", "运行结果"),
        ("label", "HTML代码编辑区(未保存)"),
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

    # The page in the preview, as a screen reader reads it.
    run = find(app, "push button", "运行结果")
    run.queryAction().doAction(0)
    page = None
    deadline = time.time() + 30
    while time.time() < deadline:
        page = find(app, "document web")
        if page is not None and page.name == "The Ninja build system" and page.childCount > 0:
            break
        time.sleep(0.5)
    if page is None or page.childCount == 0:
        print("FAIL: the previewed page shows as an empty document:", page and page.name)
        return 1
    content = walk(page, limit=60)
    for role, name, depth in content:
        print("  " * depth + f"{role}: {name}")
    headings = [name for role, name, _ in content if role == "heading" and name]
    if page.name != "The Ninja build system" or not headings:
        print("FAIL: the previewed page has no title or headings:", page.name, headings)
        return 1
    print("accessibility: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
