"""orvane-sidekey benchmarks: start-up and memory against a minimal
wxWidgets dialog, key-notification throughput, and the configuration store
against plain TinyXML. Run by bench/run.sh inside a private X server; prints
a table and writes docs/BENCHMARKS.md.

Every time is taken from time.monotonic() (CLOCK_MONOTONIC), the clock that
bench/mapwait prints, so start and end of a start-up come from one clock
even though two processes read it.
"""

import argparse
import datetime
import os
import select
import platform
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                                "tests", "blackbox"))
from harness import INSTANCE_LOCK, instance_lock_holder as lock_holder  # noqa: E402

TITLE = "软快捷设置程序"
SCREEN = (1024, 768)
KEYS_TYPE_B = 28
GOAL_RATIO = 1.10
GOAL_ADVISE_MS = 2.0


# ----------------------------------------------------------------------------
# helpers
# ----------------------------------------------------------------------------

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def loadavg():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def vm_hwm_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def cpu_ms(pid):
    """CPU time used so far by all threads of pid (scheduler statistics, in
    nanoseconds, unlike the 10 ms ticks of /proc/PID/stat)."""
    total = 0
    try:
        for tid in os.listdir("/proc/%d/task" % pid):
            try:
                with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                    total += int(f.read().split()[0])
            except (OSError, ValueError, IndexError):
                pass
    except OSError:
        return None
    return total / 1e6


def wait_lock(timeout=180.0):
    """Another copy (a test of someone else's, a demo) holds the
    single-instance lock: ours would show the already-running box."""
    deadline = time.monotonic() + timeout
    waited = 0.0
    while lock_holder() is not None:
        if time.monotonic() > deadline:
            raise RuntimeError("the single-instance lock %s stays taken (pid %s); run with "
                               "BENCH_PRIVATE_TMP=1 to use a lock of our own"
                               % (INSTANCE_LOCK, lock_holder()))
        time.sleep(0.1)
        waited += 0.1
    return waited


def config_xml(port, switch=0):
    return ('<?xml version="1.0" encoding="UTF-8" ?>\n<Config>\n'
            '    <Global>\n        <port num="%d" />\n'
            '        <CurrentRun TYPE="OrvaneTypeB" />\n    </Global>\n'
            '    <OrvaneTypeA>\n        <Flag Is_Had_Hand="0" Enable_Soft_Sidekey="0"'
            ' bKeyPen="0" />\n    </OrvaneTypeA>\n'
            '    <OrvaneTypeB>\n        <Flag Is_Had_Hand="0" Enable_Soft_Sidekey="%d"'
            ' bKeyPen="0" />\n    </OrvaneTypeB>\n</Config>\n' % (port, switch))


class Lines:
    """A child's stdout, line by line, each with the monotonic time it was
    read."""

    def __init__(self, stream):
        self.lines = []
        self.cond = threading.Condition()
        self.thread = threading.Thread(target=self._run, args=(stream,), daemon=True)
        self.thread.start()

    def _run(self, stream):
        for raw in iter(stream.readline, b""):
            now = time.monotonic()
            with self.cond:
                self.lines.append((now, raw.decode("utf-8", "replace").rstrip("\n")))
                self.cond.notify_all()
        stream.close()

    def wait_for(self, text, timeout=30.0, start=0):
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for i in range(start, len(self.lines)):
                    if self.lines[i][1] == text:
                        return i
                left = deadline - time.monotonic()
                if left <= 0:
                    raise RuntimeError("timed out waiting for %r; got %r"
                                       % (text, [l for _, l in self.lines[-10:]]))
                self.cond.wait(left)

    def count(self, text):
        with self.cond:
            return sum(1 for _, l in self.lines if l == text)

    def times(self, text):
        with self.cond:
            return [t for t, l in self.lines if l == text]

    def __len__(self):
        with self.cond:
            return len(self.lines)


def median(values):
    return statistics.median(values) if values else float("nan")


# ----------------------------------------------------------------------------
# the bench
# ----------------------------------------------------------------------------

class Bench:

    def __init__(self, build, env):
        self.build = os.path.abspath(build)
        self.app = os.path.join(self.build, "orvane-sidekey")
        self.sim_bin = os.path.join(self.build, "orvane-board-sim")
        self.baseline = os.path.join(self.build, "bench", "baseline_dialog")
        self.mapwait = os.path.join(self.build, "bench", "mapwait")
        self.store_bench = os.path.join(self.build, "bench", "store_bench")
        self.env = env
        self.tmp = tempfile.mkdtemp(prefix="sidekey-bench-")
        self.workdir = os.path.join(self.tmp, "QMLT")
        shutil.copytree(os.path.join(self.build, "QMLT"), self.workdir, symlinks=True)
        self.config = os.path.join(self.workdir, "Config", "config.xml")
        self.port = free_port()
        self.write_config(0)
        self.lock_wait = 0.0
        self.lock_retries = 0
        self.sim = None
        self.sim_out = None

    def write_config(self, switch):
        with open(self.config, "w", encoding="utf-8") as f:
            f.write(config_xml(self.port, switch))

    def start_sim(self):
        self.sim = subprocess.Popen([self.sim_bin, "--headless", "--port", str(self.port)],
                                    cwd=self.workdir, env=self.env, stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.sim_out = Lines(self.sim.stdout)
        self.sim_out.wait_for("listening %d" % self.port)

    def stop_sim(self):
        if self.sim and self.sim.poll() is None:
            try:
                self.sim.stdin.write(b"quit\n")
                self.sim.stdin.flush()
                self.sim.wait(10)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                self.sim.kill()
                self.sim.wait()

    def cleanup(self):
        self.stop_sim()
        shutil.rmtree(self.tmp, True)

    def xrun(self, args):
        return subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=30)

    def start_mapwait(self, *args):
        w = subprocess.Popen([self.mapwait, "--timeout", "60"] + list(args), env=self.env,
                             stdout=subprocess.PIPE)
        w.buf = b""
        if self.mapwait_line(w, None, 30) != "ready":
            raise RuntimeError("mapwait did not start")
        return w

    @staticmethod
    def mapwait_line(w, app, timeout):
        """The next line of mapwait; None when the lock turns out to be
        someone else's (app would show the already-running box, not the
        dialog). Raises when nothing comes in time."""
        fd = w.stdout.fileno()
        deadline = time.monotonic() + timeout
        while b"\n" not in w.buf:
            if time.monotonic() > deadline:
                w.kill()
                raise RuntimeError("no window within %d s (the program may be showing "
                                   "an error box)" % timeout)
            if app is not None:
                holder = lock_holder()
                if holder is not None and holder != app.pid:
                    return None
            ready, _, _ = select.select([fd], [], [], 0.05)
            if ready:
                chunk = os.read(fd, 4096)
                if not chunk:
                    raise RuntimeError("mapwait ended without an answer")
                w.buf += chunk
        line, _, w.buf = w.buf.partition(b"\n")
        return line.decode()

    def mapwait_result(self, w, app=None, timeout=30):
        try:
            line = self.mapwait_line(w, app, timeout)
        except RuntimeError:
            if app is not None:
                app.kill()
                app.wait()
            raise
        if line is None:
            w.kill()
            w.wait()
            return None
        w.wait()
        t, wid = line.split()
        return int(t) / 1e9, wid

    def close_window(self, proc, wid):
        """Closes like a user (the window manager's close), so the program
        ends normally and lets go of its lock; kills it after 10 s."""
        self.xrun(["wmctrl", "-i", "-c", wid])
        try:
            return proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            return proc.wait()

    # -- 1 and 2: start-up and memory ---------------------------------------

    def variants(self):
        """The programs of the start-up comparison: (name, command, extra
        environment). The utility and the minimal dialog decide the goal;
        the others tell where the difference comes from: the minimal dialog
        with the utility's locale (and icon), and both with GTK's own simple
        input method instead of the one GTK picks for the locale."""
        icon = os.path.join(self.workdir, "Res", "Sidekey.ico")
        simple = {"GTK_IM_MODULE": "gtk-im-context-simple"}
        return [
            ("orvane-sidekey", [self.app], {}),
            ("baseline", [self.baseline], {}),
            ("baseline + locale", [self.baseline, "--locale"], {}),
            ("baseline + locale + icon", [self.baseline, "--locale", "--icon", icon], {}),
            ("orvane-sidekey, simple input method", [self.app], simple),
            ("baseline + locale, simple input method", [self.baseline, "--locale"], simple),
        ]

    def one_start(self, args, extra_env=None):
        is_app = args[0] == self.app
        env = dict(self.env, **(extra_env or {}))
        for _ in range(20):
            if is_app:
                self.lock_wait += wait_lock()
            w = self.start_mapwait("--name", TITLE)
            t0 = time.monotonic()
            proc = subprocess.Popen(args, cwd=self.workdir, env=env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                got = self.mapwait_result(w, proc if is_app else None)
            except RuntimeError:
                proc.kill()
                proc.wait()
                raise
            if got is None:
                # Another copy took the lock first: this run does not count.
                proc.kill()
                proc.wait()
                self.lock_retries += 1
                continue
            t1, wid = got
            hwm = vm_hwm_kb(proc.pid)
            cpu = cpu_ms(proc.pid)
            self.close_window(proc, wid)
            return (t1 - t0) * 1000.0, hwm, cpu
        raise RuntimeError("could not get the single-instance lock")

    def startup(self, runs):
        variants = self.variants()
        for _, args, env in variants:     # warm-up: page cache, font cache
            self.one_start(args, env)
        res = {name: ([], [], []) for name, _, _ in variants}
        for i in range(runs):
            # Each round in another order, so that no program always follows
            # the same one.
            k = i % len(variants)
            for name, args, env in variants[k:] + variants[:k]:
                for j, v in enumerate(self.one_start(args, env)):
                    res[name][j].append(v)
        return res

    # -- 3: notifications -----------------------------------------------------

    def wait_active(self, wid, timeout=10.0):
        want = int(wid, 16)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            out = self.xrun(["xdotool", "getactivewindow"]).stdout.strip()
            if out.isdigit() and int(out) == want:
                return
            time.sleep(0.02)
        raise RuntimeError("dialog did not get the focus")

    def one_matching(self):
        for _ in range(20):
            result = self.try_matching()
            if result is not None:
                return result
            self.lock_retries += 1
        raise RuntimeError("could not get the single-instance lock")

    def try_matching(self):
        self.write_config(0)
        self.lock_wait += wait_lock()
        first_line = len(self.sim_out)
        w = self.start_mapwait("--name", TITLE)
        proc = subprocess.Popen([self.app], cwd=self.workdir, env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        out = Lines(proc.stdout)
        try:
            got = self.mapwait_result(w, proc)
            if got is None:
                proc.kill()
                proc.wait()
                return None
            wid = got[1]
            self.sim_out.wait_for("connect SideKey", start=first_line)
            self.xrun(["wmctrl", "-i", "-a", wid])
            self.wait_active(wid)
            full = self.start_mapwait("--size", "%dx%d" % SCREEN)
            self.xrun(["xdotool", "key", "--delay", "60", "space", "Tab", "Tab", "Tab"])
            self.xrun(["xdotool", "keydown", "Return"])
            if self.mapwait_result(full, None, 30) is None:
                raise RuntimeError("no full-screen key-matching window")
            self.xrun(["xdotool", "keyup", "Return"])
            self.sim_out.wait_for("start %d" % KEYS_TYPE_B, start=first_line)

            t_send = time.monotonic()
            self.sim.stdin.write(b"advise %d\n" % KEYS_TYPE_B)
            self.sim.stdin.flush()
            status = proc.wait(30)
            t_exit = time.monotonic()
        except Exception:
            proc.kill()
            proc.wait()
            raise
        out.thread.join(10)
        seen = out.times("Onadvise")
        last = max(seen) if seen else t_exit
        return {
            "per_advise_ms": (t_exit - t_send) * 1000.0 / KEYS_TYPE_B,
            "total_ms": (t_exit - t_send) * 1000.0,
            "to_last_ms": (last - t_send) * 1000.0,
            "exit_after_last_ms": (t_exit - last) * 1000.0,
            "onadvise": len(seen),
            "status": status,
            "t_send": t_send,
            "t_last": last,
            "t_exit": t_exit,
        }

    def matching(self, runs):
        return [self.one_matching() for _ in range(runs)]

    # -- 4: configuration store ----------------------------------------------

    def store(self, iterations, sections):
        data = tempfile.mkdtemp(prefix="store-bench-", dir=self.build)
        try:
            out = subprocess.run([self.store_bench, "--iterations", str(iterations),
                                  "--sections", str(sections), "--dir", data],
                                 capture_output=True, text=True, timeout=240)
        finally:
            shutil.rmtree(data, True)
        if out.returncode != 0:
            raise RuntimeError("store_bench failed: " + out.stderr)
        rows = {}
        for line in out.stdout.splitlines():
            parts = line.split("\t")
            rows[parts[0]] = parts[1:]
        return rows


# ----------------------------------------------------------------------------
# machine and report
# ----------------------------------------------------------------------------

def machine_info(build):
    cpu = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    try:
        wx = subprocess.run(["wx-config", "--version"], capture_output=True,
                            text=True).stdout.strip()
    except OSError:
        wx = "?"
    gtk = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "libgtk-3-0"],
                         capture_output=True, text=True).stdout.strip() or "?"
    cache = {}
    try:
        with open(os.path.join(build, "CMakeCache.txt")) as f:
            for line in f:
                if ":" in line and "=" in line and not line.startswith(("//", "#")):
                    key, value = line.split("=", 1)
                    cache[key.split(":")[0]] = value.strip()
    except OSError:
        pass
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    git = lambda *a: subprocess.run(["git", "-C", root] + list(a), capture_output=True,
                                    text=True).stdout
    commit = git("rev-parse", "--short", "HEAD").strip() or "?"
    dirty = [l[3:] for l in git("status", "--porcelain", "--", "src", "tools").splitlines()
             if len(l) > 3]
    source = commit + (" with uncommitted changes to " + ", ".join(dirty) if dirty else "")
    return {
        "source": source,
        "nproc": os.cpu_count(),
        "cpu": cpu,
        "kernel": platform.release(),
        "wx": wx,
        "gtk": gtk,
        "build_type": cache.get("CMAKE_BUILD_TYPE") or "RelWithDebInfo (default)",
        "sanitize": cache.get("SIDEKEY_SANITIZE") or "none",
        "date": datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z"),
        "nice": os.nice(0),
    }


def verdict(ok):
    return "met" if ok else "MISSED"


def build_rows(startup, matching, store):
    rows = []
    app_ms, app_kb, app_cpu = startup["orvane-sidekey"]
    base_ms, base_kb, base_cpu = startup["baseline"]
    ratios = [a / b for a, b in zip(app_ms, base_ms)]
    r = median(app_ms) / median(base_ms)
    rows.append(("1. start-up to dialog mapped (ms)", "%.1f" % median(app_ms),
                 "%.1f" % median(base_ms), "%.3f" % r,
                 "<= %.2fx: %s" % (GOAL_RATIO, verdict(r <= GOAL_RATIO))))
    rows.append(("   pairwise ratio (median, min-max)", "", "",
                 "%.3f" % median(ratios), "%.2f-%.2f" % (min(ratios), max(ratios))))
    c = median(app_cpu) / median(base_cpu)
    rows.append(("   CPU time used by then, all threads (ms)", "%.1f" % median(app_cpu),
                 "%.1f" % median(base_cpu), "%.3f" % c, ""))
    for name in startup:
        if name in ("orvane-sidekey", "baseline"):
            continue
        ms, kb, cpu = startup[name]
        rows.append(("   %s: start-up / CPU / peak RSS" % name,
                     "%.1f ms / %.1f ms / %.1f MiB" % (median(ms), median(cpu),
                                                       median(kb) / 1024.0),
                     "", "%.3f / %.3f / %.3f" % (median(ms) / median(base_ms),
                                                 median(cpu) / median(base_cpu),
                                                 median(kb) / median(base_kb)),
                     "against baseline"))
    if "baseline + locale" in startup:
        loc_ms = startup["baseline + locale"][0]
        rows.append(("   orvane-sidekey against baseline + locale", "", "",
                     "%.3f" % (median(app_ms) / median(loc_ms)),
                     "the utility's own share"))
    m = median(app_kb) / median(base_kb)
    rows.append(("2. peak RSS at that point (MiB)", "%.1f" % (median(app_kb) / 1024.0),
                 "%.1f" % (median(base_kb) / 1024.0), "%.3f" % m,
                 "<= %.2fx: %s" % (GOAL_RATIO, verdict(m <= GOAL_RATIO))))

    per = [x["per_advise_ms"] for x in matching]
    lost = [x for x in matching if x["onadvise"] < KEYS_TYPE_B or x["status"] != 0]
    ok = median(per) < GOAL_ADVISE_MS and not lost
    rows.append(("3. per advise, send to exit / %d (ms)" % KEYS_TYPE_B, "%.3f" % median(per),
                 "", "", "< %.1f ms, none lost: %s" % (GOAL_ADVISE_MS, verdict(ok))))
    rows.append(("   send to exit, total (ms)", "%.1f" % median([x["total_ms"] for x in matching]),
                 "", "", "min %.1f max %.1f" % (min(x["total_ms"] for x in matching),
                                                max(x["total_ms"] for x in matching))))
    rows.append(("   send to last \"Onadvise\" (ms)",
                 "%.1f" % median([x["to_last_ms"] for x in matching]), "", "", ""))
    rows.append(("   last \"Onadvise\" to exit (ms)",
                 "%.1f" % median([x["exit_after_last_ms"] for x in matching]), "", "", ""))
    rows.append(("   runs / Onadvise lines / exit status", "%d" % len(matching),
                 "", "", "%s / %s" % (",".join(str(x["onadvise"]) for x in matching),
                                      ",".join(str(x["status"]) for x in matching))))

    names = {"load": "load", "read": "read (64 sections x 3 values)",
             "write": "write (64 sections x 3 values)",
             "save": "save: safe save vs same steps by hand",
             "close": "close (free the document)",
             "session": "whole session, fsync included",
             "save_nosync": "save without fsync vs TinyXML SaveFile",
             "session_nosync": "whole session without fsync"}
    f = store.get("file", ["?", "?", "?"])
    for key in ("load", "read", "write", "save", "close", "save_nosync", "session",
                "session_nosync"):
        v = store.get(key)
        if not v:
            continue
        ratio = float(v[2])
        goal = ""
        if key in ("load", "read", "write", "save", "save_nosync", "session_nosync"):
            goal = "<= %.2fx: %s" % (GOAL_RATIO, verdict(ratio <= GOAL_RATIO))
        rows.append(("4. store %s (ms)" % names[key], v[0], v[1], v[2], goal))
    if "fsync" in store:
        rows.append(("4. fsync + rename of the safe save (ms)", store["fsync"][0], "", "",
                     "reported on its own"))
    rows.append(("   file", f[1], "", "", "%s, %s" % (f[0], f[2])))
    return rows


def format_table(rows, markdown):
    head = ("measure", "orvane-sidekey / store", "baseline / TinyXML", "ratio", "goal")
    if markdown:
        lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
        for r in rows:
            lines.append("| " + " | ".join(c.replace("|", "\\|") for c in r) + " |")
        return "\n".join(lines)
    widths = [max(len(str(r[i])) for r in rows + [head]) for i in range(len(head))]
    out = []
    for r in [head] + rows:
        out.append("  ".join(str(c).ljust(widths[i]) for i, c in enumerate(r)).rstrip())
    return "\n".join(out)


def write_doc(path, notes_path, info, rows, params, loads, lock_wait, retries):
    parts = ["# Benchmarks", "",
             "Written by `bench/run.sh` on %s; the method and the analysis below the table "
             "come from `bench/NOTES.md`." % info["date"], "",
             "## Machine", "",
             "| | |", "|---|---|",
             "| processors (nproc) | %s |" % info["nproc"],
             "| CPU | %s |" % info["cpu"],
             "| kernel | %s |" % info["kernel"],
             "| wxWidgets | %s (GTK %s) |" % (info["wx"], info["gtk"]),
             "| build | %s, sanitizers: %s |" % (info["build_type"], info["sanitize"]),
             "| sources | %s |" % info["source"],
             "| load average (1, 5, 15 min) | at start %s; after start-up %s; after key "
             "matching %s; at end %s |" % tuple(loads),
             "| priority | nice %d for the X server, the window manager, the stand-in service "
             "and every program measured |" % info["nice"],
             "| waiting for the single-instance lock | %.1f s in all; %d runs lost to "
             "another copy and repeated |" % (lock_wait, retries),
             "| runs | %s |" % params, "",
             "## Results", "",
             "Medians. Ratios are taken against the baseline measured in the same "
             "invocation, runs alternating between the programs.", "",
             format_table(rows, True), ""]
    if os.path.exists(notes_path):
        with open(notes_path, encoding="utf-8") as f:
            parts.append(f.read().rstrip() + "\n")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(parts))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--doc", default="docs/BENCHMARKS.md")
    ap.add_argument("--notes", default="bench/NOTES.md")
    ap.add_argument("--runs", type=int, default=15)
    ap.add_argument("--matching-runs", type=int, default=7)
    ap.add_argument("--store-iterations", type=int, default=21)
    ap.add_argument("--sections", type=int, default=2200)
    args = ap.parse_args()

    if "DISPLAY" not in os.environ:
        sys.exit("bench.py: needs an X display (run through bench/run.sh)")
    env = dict(os.environ, LANG="zh_CN.UTF-8")
    for k in ("LC_ALL", "LANGUAGE", "LC_MESSAGES", "WAYLAND_DISPLAY"):
        env.pop(k, None)

    info = machine_info(args.build)
    loads = [loadavg()]
    bench = Bench(args.build, env)
    try:
        bench.start_sim()
        t = time.monotonic()
        print("start-up and memory: %d alternating runs each ..." % args.runs, flush=True)
        startup = bench.startup(args.runs)
        loads.append(loadavg())
        print("  %.0f s" % (time.monotonic() - t), flush=True)
        t = time.monotonic()
        print("key matching: %d runs of %d positions ..." % (args.matching_runs, KEYS_TYPE_B),
              flush=True)
        matching = bench.matching(args.matching_runs)
        loads.append(loadavg())
        print("  %.0f s" % (time.monotonic() - t), flush=True)
    finally:
        bench.cleanup()
    t = time.monotonic()
    print("configuration store: %d iterations ..." % args.store_iterations, flush=True)
    store = bench.store(args.store_iterations, args.sections)
    loads.append(loadavg())
    print("  %.0f s" % (time.monotonic() - t), flush=True)

    rows = build_rows(startup, matching, store)
    print()
    print("%s, %s x %s, kernel %s, wxWidgets %s; load %s -> %s" % (
        info["date"], info["nproc"], info["cpu"], info["kernel"], info["wx"], loads[0],
        loads[-1]))
    print("sources: %s" % info["source"])
    print(format_table(rows, False))
    params = ("start-up %d rounds of the 6 programs, in an order rotating round by round "
              "(+1 warm-up each), key matching %d runs, store %d iterations of %d sections"
              % (args.runs, args.matching_runs, args.store_iterations, args.sections))
    write_doc(args.doc, args.notes, info, rows, params, loads, bench.lock_wait,
              bench.lock_retries)
    print("\nwrote " + args.doc)


if __name__ == "__main__":
    main()
