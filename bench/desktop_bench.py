#!/usr/bin/python3
"""What the editor costs on a desktop, measured from outside as a person's machine sees it.

Runs inside an X display with a window manager (scripts/bench.sh starts Xvfb at 1600x900 and
openbox). Each configuration is started fresh, maximised, left idle, then typed into with xdotool;
the CPU time of its whole process tree (the browser engine's processes included) is read from
/proc (while typing, in nanoseconds per thread; idle, in clock ticks), and its memory as the sum of resident (RSS) and proportional (PSS) sizes. Beside the
editor's configurations stands a bare QPlainTextEdit window (editor_bench --child bare-window).

Usage: desktop_bench.py --corvane PATH --bench PATH [--runs 3] [--keys 40] [--idle 10] [--mb 10]
                        [--peers] [--one-line] [--input FILE] [--where click|first|last]
                        [--configs default,bare] [--before PATH] [--skip-sample] [--instructions]
With --one-line the large file is a minified script on one line instead of a page of short lines;
with --input it is FILE. --where says where the keys go in it: the line clicked near the top of the
view (the default), the first line (Ctrl+Home after the click) or the last (Ctrl+End). --configs
measures only some configurations: default, nojournal (CORVANE_JOURNAL=0), opengl, noopengl, bare;
--before adds another build of the editor (an earlier one) as the first row. --skip-sample measures
the large file alone.
With --instructions, each configuration runs under valgrind's callgrind, which counts the machine
instructions of the whole process while the keys are typed and nothing else: a figure that a
busy or shared machine does not disturb, beside the CPU time, which it does.
With --peers, the editors a Linux user might pick instead are measured the same way where they are
installed (FeatherPad, Geany, gedit, KWrite; install them with apt-get for that run).
With --preview, typing in a pane is measured instead beside a previewed page that is quiet, that
spins in `while(true){}` or that logs 10,000 lines a second (the editor's own process), and with
live preview on against off (the whole tree, the page's rebuild after the last key included).
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


def own_cpu_seconds(pid):
    """The CPU time of one process, without its children: the sum over its threads of the time
    the scheduler ran them, in nanoseconds where /proc/stat counts in ticks of 10 ms (30 keys of
    1 ms each are three ticks). A thread that ends in between takes its time with it."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except OSError:
            continue
    return total / 1e9


def threads_cpu(root):
    """{(pid, tid): nanoseconds the scheduler ran that thread} over the tree of root."""
    times = {}
    for pid in tree(root):
        try:
            tasks = os.listdir(f"/proc/{pid}/task")
        except OSError:
            continue
        for task in tasks:
            try:
                with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                    times[(pid, int(task))] = int(f.read().split()[0])
            except OSError:
                continue
    return times


class TreeClock:
    """The CPU time of a process tree over a stretch, counted two ways: in nanoseconds per thread
    (schedstat) and in the clock ticks of /proc/<pid>/stat (10 ms, but children and threads that
    end are added to their parent's figure). A thread that ends in between takes its nanoseconds
    with it, so `ended` counts those; where any ended, the tick figure is the honest one."""

    def __init__(self, root):
        self.root = root
        self.threads, self.ticks = threads_cpu(root), cpu_seconds(root)

    def read(self):
        """(nanosecond figure, tick figure, threads ended), the first two in seconds."""
        now = threads_cpu(self.root)
        ended = sum(1 for key in self.threads if key not in now)
        fine = sum(ns - self.threads.get(key, 0) for key, ns in now.items()) / 1e9
        return fine, cpu_seconds(self.root) - self.ticks, ended


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


def stop(process):
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def maximise(win):
    subprocess.run(["wmctrl", "-i", "-r", win, "-b", "add,maximized_vert,maximized_horz"], check=False)
    xdotool("windowactivate", "--sync", win)


class Config:
    def __init__(self, name, command, env=None):
        self.name, self.command, self.env = name, command, env or {}


def counted(command, out):
    """The command under callgrind, counting nothing until told to (callgrind_control -i on)."""
    return ["valgrind", "--tool=callgrind", "--instr-atstart=no", f"--callgrind-out-file={out}"] + command


def instructions_counted(pid, out):
    """Writes out what callgrind counted so far, and returns the count."""
    subprocess.run(["callgrind_control", "-d", str(pid)], capture_output=True, check=False)
    total = 0
    for name in os.listdir(os.path.dirname(out)):
        if name.startswith(os.path.basename(out) + "."):
            with open(os.path.join(os.path.dirname(out), name)) as f:
                total += next((int(line.split()[1]) for line in f if line.startswith("totals:")), 0)
    return total


def one_run(config, file, keys, idle_seconds, work, where="click", instructions=False):
    """Starts the configuration (with `file` open, if any), returns its figures."""
    env = dict(os.environ, **config.env)
    env.update(HOME=work, XDG_CACHE_HOME=os.path.join(work, "cache"), QT_QPA_PLATFORM="xcb",
               QTWEBENGINE_DISABLE_SANDBOX="1")
    # A state folder of its own each run: a run ended from outside leaves its recovery journal,
    # which the next start would offer.
    env["XDG_STATE_HOME"] = tempfile.mkdtemp(prefix="state-", dir=work)
    command = config.command + ([file] if file else [])
    out = tempfile.mktemp(prefix="callgrind-", dir=work)
    process = subprocess.Popen(counted(command, out) if instructions else command, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        win = wait_for_window(process.pid, timeout=600 if instructions else 60)
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
        if file and where != "click":
            xdotool("key", "ctrl+Home" if where == "first" else "ctrl+End")
            wait_until_quiet(process.pid, timeout=30)
        if instructions:
            subprocess.run(["callgrind_control", "-i", "on", str(process.pid)], capture_output=True, check=False)
        clock = TreeClock(process.pid)
        xdotool("type", "--delay", "100", ("abcdefghijklmnopqrstuvwxyz" * (keys // 26 + 1))[:keys])
        wait_until_quiet(process.pid, timeout=120 if instructions else 30, window=0.5)
        fine, ticks, ended = clock.read()
        figures["instr"] = instructions_counted(process.pid, out) / keys if instructions else float("nan")
        figures["key"] = 1000 * (ticks if ended else fine) / keys
        figures["key_ticks"] = 1000 * ticks / keys
        figures["ended"] = ended
        return figures
    finally:
        stop(process)


# The window's design: client area 1025 x 673 pixels below a menu bar of 23 (tests/e2e/xdriver.py).
def at_design(geometry, x, y):
    width, height = int(geometry["WIDTH"]), int(geometry["HEIGHT"])
    return str(x * width // 1025), str(23 + y * (height - 23) // 673)


# Each page ends with the same short line, where the keys go (the click below the text puts the
# caret at its end), and has no line wider than the pane: the keys cost the same in every case but
# for what the page does.
PAGES = {
    "quiet": "<p>a quiet page</p>\n<p></p>",
    "spinning": "<p>spinning</p><script>\nsetTimeout(() => { while (true) {} }, 300)\n</script>\n<p></p>",
    "logging": "<p>logging</p><script>\nsetInterval(() => {\n  for (let i = 0; i < 100; i++) console.log('line ' + i);\n"
               "}, 10)\n</script>\n<p></p>",
}


def preview_run(options, page, live, work):
    """CPU a key typed into the HTML pane while `page` is previewed: the editor's own process, and
    the whole tree once it is quiet again."""
    path = os.path.join(work, f"{page}.html")
    with open(path, "w") as f:
        f.write(PAGES[page])
    env = dict(os.environ, HOME=work, XDG_CACHE_HOME=os.path.join(work, "cache"), QT_QPA_PLATFORM="xcb",
               QTWEBENGINE_DISABLE_SANDBOX="1")
    # As in one_run: the journal a stopped run leaves would otherwise be offered at the next start,
    # and its question would take the clicks and keys.
    env["XDG_STATE_HOME"] = tempfile.mkdtemp(prefix="state-", dir=work)
    process = subprocess.Popen([options.corvane, path], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        win = wait_for_window(process.pid)
        if win is None:
            raise RuntimeError("no window")
        maximise(win)
        wait_until_quiet(process.pid)
        geometry = dict(line.split("=") for line in xdotool("getwindowgeometry", "--shell", win).split())
        xdotool("mousemove", "--window", win, *at_design(geometry, 664, 28), "click", "1")
        time.sleep(3)
        if live:
            xdotool("mousemove", "--window", win, *at_design(geometry, 752, 360), "click", "3")
            time.sleep(0.5)
            xdotool("key", "Up", "Up", "Up", "Return")
            time.sleep(2)
        xdotool("mousemove", "--window", win, str(int(geometry["WIDTH"]) // 5), str(int(geometry["HEIGHT"]) // 3),
                "click", "1")
        time.sleep(0.5)
        own, whole = own_cpu_seconds(process.pid), cpu_seconds(process.pid)
        # 30 keys 100 ms apart: under the 5 s after which a page that does not answer is stopped.
        keys = 30
        xdotool("type", "--delay", "100", ("abcdefghijklmnopqrstuvwxyz" * 2)[:keys])
        own = 1000 * (own_cpu_seconds(process.pid) - own) / keys
        if page == "quiet":
            wait_until_quiet(process.pid, timeout=30, window=0.5)
        whole = 1000 * (cpu_seconds(process.pid) - whole) / keys
        return own, whole
    finally:
        stop(process)


def preview_figures(options, work):
    cases = (("quiet page", "quiet", False), ("spinning page", "spinning", False),
             ("page logging 10,000 lines/s", "logging", False), ("quiet page, live preview on", "quiet", True))
    only = os.environ.get("CORVANE_PREVIEW_CASES")
    cases = [case for case in cases if not only or case[0] == "quiet page" or case[1] in only.split(",")]
    figures = {name: [] for name, _, _ in cases}
    # The cases take turns, so that what else the machine does at the time weighs on each alike.
    for run in range(options.runs):
        for name, page, live in cases:
            log(f"{name}: run {run + 1} of {options.runs}")
            figures[name].append(preview_run(options, page, live, work))
            log(f"  {figures[name][-1][0]:.3f} ms a key (editor), {figures[name][-1][1]:.2f} ms (whole tree)")
    runs = {name: (statistics.median(f[0] for f in found), statistics.median(f[1] for f in found))
            for name, found in figures.items()}
    quiet_own, quiet_whole = runs["quiet page"]
    print(f"Typing beside a previewed page: Xvfb with openbox, window maximised; median of {options.runs}"
          f" fresh starts; 30 keys 100 ms apart into the HTML pane.")
    print(f"{'page':32}  {'editor process/key':>18}  {'ratio':>6}  {'whole tree/key':>14}  {'ratio':>6}  target")
    for name, (own, whole) in runs.items():
        target = "1.2x (whole tree)" if "live" in name else ("" if name == "quiet page" else "1.5x (editor)")
        print(f"{name:32}  {own:15.3f} ms  {own / quiet_own:5.2f}x  {whole:11.2f} ms  {whole / quiet_whole:5.2f}x"
              f"  {target}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--corvane", required=True)
    parser.add_argument("--bench", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--keys", type=int, default=40)
    parser.add_argument("--idle", type=float, default=10)
    parser.add_argument("--mb", type=int, default=10)
    parser.add_argument("--peers", action="store_true")
    parser.add_argument("--preview", action="store_true",
                        help="typing beside a quiet, spinning or logging page, and with live preview on")
    parser.add_argument("--one-line", action="store_true",
                        help="the large file is a minified script on one line, not a page of short lines")
    parser.add_argument("--input", help="the large file, instead of the generated one")
    parser.add_argument("--where", default="click", choices=("click", "first", "last"))
    parser.add_argument("--configs", default="default,nojournal,opengl,noopengl,bare")
    parser.add_argument("--before", help="another build of the editor to measure beside, as 'before'")
    parser.add_argument("--skip-sample", action="store_true",
                        help="only the large file: no idle and sample figures")
    parser.add_argument("--instructions", action="store_true",
                        help="count the instructions a key costs, under callgrind")
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
    if options.preview:
        preview_figures(options, work)
        shutil.rmtree(work, ignore_errors=True)
        return 0
    big = os.path.join(work, f"input-{options.mb}." + ("js" if options.one_line else "html"))
    if options.input:
        big = os.path.abspath(options.input)
    else:
        subprocess.run([options.bench, "--child", "make-input", str(options.mb), big]
                       + (["one-line"] if options.one_line else []), check=True,
                       env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    corvane = [options.corvane]
    wanted = options.configs.split(",")
    configs = [config for key, config in (
        ("default", Config("Corvane, default", corvane)),
        ("nojournal", Config("Corvane, no recovery journal (CORVANE_JOURNAL=0)", corvane, {"CORVANE_JOURNAL": "0"})),
        ("opengl", Config("Corvane, OpenGL forced (CORVANE_OPENGL=1)", corvane, {"CORVANE_OPENGL": "1"})),
        ("noopengl", Config("Corvane, no OpenGL (QT_XCB_GL_INTEGRATION=none)", corvane,
                            {"QT_XCB_GL_INTEGRATION": "none"})),
        ("bare", Config("bare QPlainTextEdit window", [options.bench, "--child", "bare-window"])),
    ) if key in wanted]
    if options.before:
        configs.insert(0, Config("Corvane before (" + options.before + ")", [options.before]))
    if options.peers:
        for name, command in (("FeatherPad", ["featherpad", "--standalone"]), ("Geany", ["geany", "-i"]),
                              ("gedit", ["gedit", "--standalone"]), ("KWrite", ["kwrite"])):
            if shutil.which(command[0]):
                configs.append(Config(name, command))
    # The configurations take turns, run by run, so that a slow spell of the machine falls on all.
    small, large = {c.name: [] for c in configs}, {c.name: [] for c in configs}
    for run in range(options.runs):
        for config in configs:
            log(f"{config.name}: run {run + 1} of {options.runs}")
            if not options.skip_sample:
                small[config.name].append(one_run(config, None, options.keys, options.idle, work))
            large[config.name].append(one_run(config, big, options.keys, 3, work, options.where,
                                              options.instructions))
            log("  CPU/key " + ", ".join(f"{r['key']:.3f} ms" for r in large[config.name][-1:]) +
                ("".join(f", {r['instr'] / 1e6:.3f} M instructions" for r in large[config.name][-1:])
                 if options.instructions else ""))
    median = lambda runs, key: statistics.median(r[key] for r in runs) if runs else float("nan")
    rows, ended = [], 0
    for config in configs:
        s, l = small[config.name], large[config.name]
        ended += sum(r["ended"] for r in s + l)
        rows.append((config.name, median(s, "idle"), median(s, "key"), median(l, "key"),
                     median(s, "rss"), median(s, "pss"), median(l, "rss"), median(l, "key_ticks"),
                     median(l, "instr")))

    print(f"Desktop figures: Xvfb 1600x900 with openbox, window maximised, whole process tree from /proc;"
          f" median of {options.runs} fresh starts; {options.keys} keys typed 100 ms apart; idle over"
          f" {options.idle:.0f} s before the first preview.")
    large_name = (os.path.basename(big) if options.input else f"{options.mb} MB" +
                  (" one line" if options.one_line else ""))
    if options.where != "click":
        large_name += ", " + ("first line" if options.where == "first" else "last line")
    header = ("configuration", "idle CPU", "CPU/key, sample", f"CPU/key, {large_name}",
              "RSS idle", "PSS idle", f"RSS, {large_name} open", "in ticks", "instructions/key")
    table = [header] + [(name, f"{idle:.2f} %", f"{small:.3f} ms", f"{large:.3f} ms", f"{rss:.0f} MiB",
                         f"{pss:.0f} MiB", f"{rss_big:.0f} MiB", f"{ticks:.2f} ms", f"{instr / 1e6:.3f} M")
                        for name, idle, small, large, rss, pss, rss_big, ticks, instr in rows]
    widths = [max(len(row[i]) for row in table) for i in range(len(header))]
    for row in table:
        print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())
    print(f"CPU/key: nanoseconds the scheduler ran each thread of the tree (schedstat), except in a run"
          f" where a thread ended while typing; there, and in the column 'in ticks', clock ticks of"
          f" {1000 / TICKS:.0f} ms ({1000 / TICKS / options.keys:.3f} ms a key). Threads that ended"
          f" while typing, all runs: {ended}. Idle CPU in ticks.")
    bare = next((row for row in rows if row[0].startswith("bare")), None)
    if bare is not None:
        print(f"Targets: idle at most 0.2 % of a core; a key within 1.2x of the bare window (here:"
              f" {bare[2]:.2f} / {bare[3]:.2f} ms).")
        if options.instructions:
            for row in rows:
                print(f"Instructions a key, {row[0]} / bare window: {row[8] / bare[8]:.2f}x")
    on = next((row for row in rows if row[0] == "Corvane, default"), None)
    off = next((row for row in rows if row[0].startswith("Corvane, no recovery journal")), None)
    if on is not None and off is not None:
        print(f"Recovery journal on / off, CPU a key: sample {on[2] / off[2]:.2f}x, {large_name}"
              f" {on[3] / off[3]:.2f}x (target at most 1.1x).")
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
