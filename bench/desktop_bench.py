#!/usr/bin/python3
"""What the editor costs on a desktop, measured from outside as a person's machine sees it.

Runs inside an X display with a window manager (scripts/bench.sh starts Xvfb at 1600x900 and
openbox). Each configuration is started fresh, maximised, left idle, then typed into with xdotool;
the CPU time of its whole process tree (the browser engine's processes included) is read from
/proc, and its memory as the sum of resident (RSS) and proportional (PSS) sizes. Beside the
editor's configurations stands a bare QPlainTextEdit window (editor_bench --child bare-window).

Usage: desktop_bench.py --corvane PATH --bench PATH [--runs 3] [--keys 40] [--idle 10] [--mb 10]
                        [--peers] [--one-line]
With --one-line the large file is a minified script on one line instead of a page of short lines.
With --peers, the editors a Linux user might pick instead are measured the same way where they are
installed (FeatherPad, Geany, gedit, KWrite; install them with apt-get for that run).
Prints one table on stdout, progress on stderr.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

TICKS = os.sysconf("SC_CLK_TCK")
PAGE_KIB = os.sysconf("SC_PAGE_SIZE") // 1024


def log(*args):
    print(*args, file=sys.stderr, flush=True)


def tree(root):
    """The pids of root and all its descendants."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            children.setdefault(int(fields[1]), []).append(int(entry))
        except OSError:
            continue
    found, todo = [], [root]
    while todo:
        pid = todo.pop()
        found.append(pid)
        todo.extend(children.get(pid, []))
    return found


def cpu_seconds(root):
    total = 0
    for pid in tree(root):
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])  # utime, stime
        except OSError:
            continue
    return total / TICKS


def memory_mib(root):
    """Sum of RSS and of PSS over the tree, in MiB."""
    rss = pss = 0
    for pid in tree(root):
        try:
            with open(f"/proc/{pid}/smaps_rollup") as f:
                for line in f:
                    if line.startswith("Rss:"):
                        rss += int(line.split()[1])
                    elif line.startswith("Pss:"):
                        pss += int(line.split()[1])
        except OSError:
            continue
    return rss / 1024, pss / 1024


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout.strip()


def wait_for_window(pid, timeout=60):
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = xdotool("search", "--onlyvisible", "--pid", str(pid)).split()
        if found:
            return found[-1]
        time.sleep(0.1)
    return None


def wait_until_quiet(root, timeout=120, window=1.0, share=0.05):
    """Until the tree used less than `share` of a core over `window` seconds."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        c0 = cpu_seconds(root)
        time.sleep(window)
        if cpu_seconds(root) - c0 < share * window:
            return True
    return False


def maximise(win):
    subprocess.run(["wmctrl", "-i", "-r", win, "-b", "add,maximized_vert,maximized_horz"], check=False)
    xdotool("windowactivate", "--sync", win)


class Config:
    def __init__(self, name, command, env=None):
        self.name, self.command, self.env = name, command, env or {}


def one_run(config, file, keys, idle_seconds, work):
    """Starts the configuration (with `file` open, if any), returns its figures."""
    env = dict(os.environ, **config.env)
    env.update(HOME=work, XDG_CACHE_HOME=os.path.join(work, "cache"), QT_QPA_PLATFORM="xcb",
               QTWEBENGINE_DISABLE_SANDBOX="1")
    # A state folder of its own each run: a run ended from outside leaves its recovery journal,
    # which the next start would offer.
    env["XDG_STATE_HOME"] = tempfile.mkdtemp(prefix="state-", dir=work)
    process = subprocess.Popen(config.command + ([file] if file else []), env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        win = wait_for_window(process.pid)
        if win is None:
            raise RuntimeError(f"{config.name}: no window")
        maximise(win)
        wait_until_quiet(process.pid)
        time.sleep(2)
        figures = {}
        c0, t0 = cpu_seconds(process.pid), time.time()
        time.sleep(idle_seconds)
        figures["idle"] = 100 * (cpu_seconds(process.pid) - c0) / (time.time() - t0)
        figures["rss"], figures["pss"] = memory_mib(process.pid)
        # Into the text: the left part of the window is the HTML pane in the editor, the text
        # everywhere in the bare window.
        geometry = dict(line.split("=") for line in xdotool("getwindowgeometry", "--shell", win).split())
        xdotool("mousemove", "--window", win, str(int(geometry["WIDTH"]) // 5), str(int(geometry["HEIGHT"]) // 3),
                "click", "1")
        wait_until_quiet(process.pid, timeout=10)
        c0 = cpu_seconds(process.pid)
        xdotool("type", "--delay", "100", ("abcdefghijklmnopqrstuvwxyz" * (keys // 26 + 1))[:keys])
        wait_until_quiet(process.pid, timeout=30, window=0.5)
        figures["key"] = 1000 * (cpu_seconds(process.pid) - c0) / keys
        return figures
    finally:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--corvane", required=True)
    parser.add_argument("--bench", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--keys", type=int, default=40)
    parser.add_argument("--idle", type=float, default=10)
    parser.add_argument("--mb", type=int, default=10)
    parser.add_argument("--peers", action="store_true")
    parser.add_argument("--one-line", action="store_true",
                        help="the large file is a minified script on one line, not a page of short lines")
    options = parser.parse_args()
    for tool in ("xdotool", "wmctrl"):
        if shutil.which(tool) is None:
            log(f"{tool} is needed (scripts/install-deps.sh installs it)")
            return 1

    if subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True,
                      text=True).stdout.find("window id") < 0:
        subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
    work = tempfile.mkdtemp(prefix="corvane-desktop-")
    big = os.path.join(work, f"input-{options.mb}." + ("js" if options.one_line else "html"))
    subprocess.run([options.bench, "--child", "make-input", str(options.mb), big]
                   + (["one-line"] if options.one_line else []), check=True,
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    corvane = [options.corvane]
    configs = [
        Config("Corvane, default", corvane),
        Config("Corvane, no recovery journal (CORVANE_JOURNAL=0)", corvane, {"CORVANE_JOURNAL": "0"}),
        Config("Corvane, OpenGL forced (CORVANE_OPENGL=1)", corvane, {"CORVANE_OPENGL": "1"}),
        Config("Corvane, no OpenGL (QT_XCB_GL_INTEGRATION=none)", corvane, {"QT_XCB_GL_INTEGRATION": "none"}),
        Config("bare QPlainTextEdit window", [options.bench, "--child", "bare-window"]),
    ]
    if options.peers:
        for name, command in (("FeatherPad", ["featherpad", "--standalone"]), ("Geany", ["geany", "-i"]),
                              ("gedit", ["gedit", "--standalone"]), ("KWrite", ["kwrite"])):
            if shutil.which(command[0]):
                configs.append(Config(name, command))
    rows = []
    for config in configs:
        small, large = [], []
        for run in range(options.runs):
            log(f"{config.name}: run {run + 1} of {options.runs}")
            small.append(one_run(config, None, options.keys, options.idle, work))
            large.append(one_run(config, big, options.keys, 3, work))
        median = lambda runs, key: statistics.median(r[key] for r in runs)
        rows.append((config.name, median(small, "idle"), median(small, "key"), median(large, "key"),
                     median(small, "rss"), median(small, "pss"), median(large, "rss")))

    print(f"Desktop figures: Xvfb 1600x900 with openbox, window maximised, whole process tree from /proc;"
          f" median of {options.runs} fresh starts; {options.keys} keys typed 100 ms apart; idle over"
          f" {options.idle:.0f} s before the first preview.")
    large_name = f"{options.mb} MB" + (" one line" if options.one_line else "")
    header = ("configuration", "idle CPU", "CPU/key, sample", f"CPU/key, {large_name}",
              "RSS idle", "PSS idle", f"RSS, {large_name} open")
    table = [header] + [(name, f"{idle:.1f} %", f"{small:.1f} ms", f"{large:.1f} ms", f"{rss:.0f} MiB",
                         f"{pss:.0f} MiB", f"{rss_big:.0f} MiB")
                        for name, idle, small, large, rss, pss, rss_big in rows]
    widths = [max(len(row[i]) for row in table) for i in range(len(header))]
    for row in table:
        print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())
    bare = next(row for row in rows if row[0].startswith("bare"))
    print(f"Targets: idle at most 0.5 % of a core; at most 3 ms of CPU a key (bare window here:"
          f" {bare[2]:.1f} / {bare[3]:.1f} ms).")
    on, off = rows[0], rows[1]
    print(f"Recovery journal on / off, CPU a key: sample {on[2] / off[2]:.2f}x, {large_name}"
          f" {on[3] / off[3]:.2f}x (target at most 1.1x).")
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
