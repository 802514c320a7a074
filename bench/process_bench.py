#!/usr/bin/env python3
"""What a running saver costs the machine: `cubrix /s` (or `/p` in a preview pane) against the
floor program, side by side, each on its own Xvfb, for a fixed sample of frames.

Prints per configuration: client and X server CPU per frame, the ratio of the totals, the
client's peak RSS with what it is made of, and the client's system calls per frame. CPU time comes
from the scheduler's own account (/proc/<pid>/task/*/sched, nanoseconds) over the sample; frames
from the program's own count (times.dat for the saver, the floor program's last line), prorated.

System calls are counted two ways, by the same processes:
- "writes/f": write calls a frame (syscw of /proc/<pid>/io: write, writev and the like; that is
  what is sent to the X server) during the CPU sample itself, which nothing disturbs. Its syscr
  is not shown: a socket's recvmsg does not count there.
- "calls/f": every call a frame, from `strace -f -c` attached to all programs at once for a short
  pass after the CPU sample (--syscall-seconds; 0 skips it), with the leading calls named below.
  Frames of the pass are prorated from the whole run's rate: strace slows each call a little, so
  the pass's CPU figures are not used.

Usage: bench/process_bench.py --cubrix build/bench/host/cubrix --floor build/bench/bench/floor_program
       [--before OTHER_CUBRIX] [--also NAME=CUBRIX ...] [--seconds 15] [--syscall-seconds 5]
       [--object data/Cube.dat] [--only 1080p|640x480|preview] [--rounds N]
With --rounds N every configuration is measured N times over, and each ratio's median over the
rounds ends the report: the machine's speed drifts between samples, for all programs of a sample
alike, so that one round's ratio can be off by a third.
With --before, a second saver program (an earlier build) runs alongside, so that a change is
measured before and after in one run; --also adds further builds the same way, under their names.

The browser's cost a frame: where bench/web_bench.js exists (the web edition's own benchmark) node
runs it once per configuration with --width W --height H --seconds S, and each line it prints on
standard output is shown under that configuration, so browser and X11 figures share one report.
A third program runs beside them, "least": the floor program sending one pixel a frame, the cost
of presenting any frame at all (waking, the put, its completion); what a program spends beyond it
is its drawing and the pixels it sends.
Not a test: the numbers depend on the machine and its load, which is printed alongside.
"""
import argparse
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

WARM_UP_S = 1.5
WEB_BENCH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "web_bench.js")
WEB_SITE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "web")
NAMED_CALLS = 5  # the leading system calls named per program
CONFIGURATIONS = [
    # name, screen, preview pane (None: full screen)
    ("1080p", "1920x1080x24", None),
    ("640x480", "640x480x24", None),
    ("preview", "1920x1080x24", "565x317"),
]


def start_xvfb(screen):
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0", screen],
                              pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number:
        server.kill()
        raise RuntimeError("Xvfb did not start")
    return server, ":" + number


def cpu_ms(pid):
    """CPU time of every thread of the process so far, in milliseconds."""
    total = 0.0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/sched") as sched:
                for line in sched:
                    if line.startswith("se.sum_exec_runtime"):
                        total += float(line.split(":")[1])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return total


def memory_kib(pid):
    fields = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, value = line.partition(":")
            if key in ("VmHWM", "RssAnon", "RssFile", "RssShmem"):
                fields[key] = int(value.split()[0])
    return fields


def write_calls(pid):
    """Write-like system calls of the process so far (all its threads)."""
    with open(f"/proc/{pid}/io") as io:
        for line in io:
            key, _, value = line.partition(":")
            if key == "syscw":
                return int(value)
    return 0


def parse_strace_summary(text):
    """{call: (calls, errors)} from the table that `strace -c` writes."""
    calls = {}
    for line in text.splitlines():
        # % time, seconds, usecs/call, calls, errors (blank when none), name
        fields = line.split()
        if len(fields) not in (5, 6) or not fields[0].replace(".", "").isdigit() or fields[-1] == "total":
            continue
        calls[fields[-1]] = (int(fields[3]), int(fields[4]) if len(fields) == 6 else 0)
    return calls


class SyscallPass:
    """`strace -f -c` attached to running programs, all at once, until stopped."""

    def __init__(self, runs, work, tag):
        self.tracers = {}
        for run in runs:
            output = os.path.join(work, f"strace-{tag}-{run.name}.txt")
            tracer = subprocess.Popen(["strace", "-f", "-c", "-qq", "-o", output, "-p", str(run.client.pid)],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.tracers[run.name] = (tracer, output)
        self.started = time.monotonic()

    def stop(self):
        """{program: {call: (calls, errors)}} and the pass's length in ms."""
        elapsed_ms = (time.monotonic() - self.started) * 1000
        counts = {}
        for name, (tracer, output) in self.tracers.items():
            tracer.send_signal(signal.SIGINT)  # detaches and writes the summary
            try:
                tracer.wait(timeout=20)
            except subprocess.TimeoutExpired:
                tracer.kill()  # left running, it would go on slowing the programs measured next
                tracer.wait()
            try:
                with open(output) as summary:
                    counts[name] = parse_strace_summary(summary.read())
            except FileNotFoundError:
                counts[name] = {}  # strace could not attach (ptrace not allowed): shown as "-"
        return counts, elapsed_ms


def machine_busy():
    with open("/proc/stat") as stat:
        values = [int(v) for v in stat.readline().split()[1:]]
    idle = values[3] + values[4]
    return sum(values) - idle, sum(values)


class Run:
    """One program on its own X server."""

    def __init__(self, name, screen, pane, command_for, extra_env=None):
        self.name = name
        self.server, self.display = start_xvfb(screen)
        self.env = dict(os.environ, DISPLAY=self.display, **(extra_env or {}))
        self.parent = None
        target = None
        if pane is not None:
            self.parent = subprocess.Popen([floor_path, "--parent", pane], env=self.env, stdout=subprocess.PIPE, text=True)
            target = self.parent.stdout.readline().strip()
        self.client = subprocess.Popen(command_for(target), env=self.env, stdout=subprocess.PIPE, text=True,
                                       stderr=subprocess.DEVNULL)

    def mark(self):
        return cpu_ms(self.client.pid), cpu_ms(self.server.pid), write_calls(self.client.pid)

    def stop(self):
        self.memory = memory_kib(self.client.pid)
        self.client.send_signal(signal.SIGTERM)
        self.output, _ = self.client.communicate(timeout=20)
        for process in (self.parent, self.server):
            if process is not None:
                process.terminate()
                process.wait(timeout=20)


def saver_frames(drive):
    with open(os.path.join(drive, "windows", "times.dat")) as stats:
        text = stats.read()
    frames = int(re.search(r"Total Frames\s*=(-?\d+)", text).group(1))
    started = int(re.search(r"Started\s*=(-?\d+)", text).group(1))
    ended = int(re.search(r"Ended\s*=(-?\d+)", text).group(1))
    return frames, (ended - started) % (1 << 32)


def floor_frames(output):
    match = re.search(r"frames (\d+) ms (\d+)", output)
    return int(match.group(1)), int(match.group(2))


def measure(name, screen, pane, args, work):
    savers = [("cubrix", args.cubrix)] + args.also
    runs = []
    for program, path in savers:
        drive = os.path.join(work, f"drive-{name}-{program}")
        os.makedirs(os.path.join(drive, "windows"), exist_ok=True)
        shutil.copyfile(args.object, os.path.join(drive, "windows", "Cube.dat"))
        run = Run(program, screen, pane, lambda target, path=path: [path, "/s"] if target is None else [path, "/p", target],
                  {"CUBRIX_DRIVE": drive})
        run.frames = lambda drive=drive: saver_frames(drive)
        runs.append(run)
    # "least" is the floor program sending one pixel a frame: what presenting any frame at all costs.
    for program, put in (("least", ["--put", "1x1"]), ("floor", [])):
        run = Run(program, screen, pane,
                  lambda target, put=put: [floor_path] + put + ([] if target is None else ["--in", target]))
        run.frames = lambda run=run: floor_frames(run.output)
        runs.append(run)
    time.sleep(WARM_UP_S)
    busy_before = machine_busy()
    before = {run.name: run.mark() for run in runs}
    started = time.monotonic()
    time.sleep(args.seconds)
    sample_ms = (time.monotonic() - started) * 1000
    after = {run.name: run.mark() for run in runs}
    busy_after = machine_busy()
    traced, traced_ms = {}, 0.0
    if args.syscall_seconds > 0:
        tracing = SyscallPass(runs, work, name)
        time.sleep(args.syscall_seconds)
        traced, traced_ms = tracing.stop()
    for run in runs:
        run.stop()
    results = {}
    for run in runs:
        frames, elapsed = run.frames()
        if frames <= 0 or elapsed <= 0:
            raise RuntimeError(f"{run.name} drew no frames on {name}")
        sample_frames = frames * sample_ms / elapsed
        client = after[run.name][0] - before[run.name][0]
        server = after[run.name][1] - before[run.name][1]
        writes = after[run.name][2] - before[run.name][2]
        calls = traced.get(run.name)
        traced_frames = frames * traced_ms / elapsed
        results[run.name] = dict(frames=sample_frames, client=client / sample_frames, server=server / sample_frames,
                                 memory=run.memory, writes=writes / sample_frames,
                                 calls=calls, traced_frames=traced_frames)
    load = 100.0 * (busy_after[0] - busy_before[0]) / max(1, busy_after[1] - busy_before[1])
    return results, load


def calls_a_frame(r):
    """Every traced call a frame, and the leading ones named (failed ones in brackets)."""
    if not r["calls"] or r["traced_frames"] <= 0:
        return None, ""
    per_frame = r["traced_frames"]
    total = sum(calls for calls, _ in r["calls"].values()) / per_frame
    leading = sorted(r["calls"].items(), key=lambda item: -item[1][0])[:NAMED_CALLS]
    leading = [item for item in leading if item[1][0] / per_frame >= 0.05]
    named = ", ".join(f"{call} {calls / per_frame:.1f}" + (f" ({errors / per_frame:.1f} failed)" if errors else "")
                      for call, (calls, errors) in leading)
    return total, named


def report(name, results, load):
    print(f"== {name}  (whole machine busy {load:.0f} % of its 2 cores during the sample)")
    print(f"{'program':8} {'frames':>7} {'client ms/f':>12} {'server ms/f':>12} {'total ms/f':>11} "
          f"{'peak RSS MiB':>13} {'anon/file/shm MiB':>18} {'writes/f':>8} {'calls/f':>8}")
    programs = list(results)  # the savers in the order given, then "least", the floor last
    details = []
    for program in programs:
        r = results[program]
        m = r["memory"]
        parts = "/".join(f"{m.get(k, 0) / 1024:.1f}" for k in ("RssAnon", "RssFile", "RssShmem"))
        total, named = calls_a_frame(r)
        print(f"{program:8} {r['frames']:7.0f} {r['client']:12.3f} {r['server']:12.3f} "
              f"{r['client'] + r['server']:11.3f} {m.get('VmHWM', 0) / 1024:13.1f} {parts:>18} "
              f"{r['writes']:8.1f} {'-' if total is None else f'{total:.1f}':>8}")
        if named:
            details.append(f"  {program}: {named}")
    if details:
        print("system calls a frame, leading ones:")
        print("\n".join(details))
    total = {program: r["client"] + r["server"] for program, r in results.items()}
    for program in programs[:-1]:
        print(f"ratio of totals, {program} / floor: {total[program] / max(1e-9, total['floor']):.2f}")
    # Presenting any frame costs what "least" costs; only the rest of a frame's cost is drawing and
    # sending pixels, and this is what half the floor leaves for it.
    allowance = 0.5 * total["floor"] - total["least"]
    for program in programs[:-2]:
        print(f"drawing and sending, {program}: {total[program] - total['least']:.3f} ms a frame "
              f"(half the floor leaves {allowance:.3f} ms)")


def report_rounds(ratios):
    """Each program's ratio to the floor over the rounds: the machine's speed moves from one sample
    to the next, the same for every program of a sample, so the median says more than one round."""
    print("== ratio of totals to the floor over the rounds: median (lowest to highest)")
    for (name, program), values in ratios.items():
        if program != "floor":
            print(f"{name:8} {program:8} {statistics.median(values):.2f} ({min(values):.2f} to {max(values):.2f})")


def report_browser(screen, pane, seconds):
    """The web edition's cost a frame at this size, where node and the web build are there to tell it."""
    node = shutil.which("node")
    if node is None or not os.path.exists(WEB_BENCH) or not os.path.isdir(WEB_SITE):
        return
    size = pane if pane is not None else screen.rsplit("x", 1)[0]
    width, height = size.split("x")
    try:
        finished = subprocess.run([node, WEB_BENCH, "--width", width, "--height", height,
                                   "--seconds", str(seconds)], capture_output=True, text=True)
    except OSError as error:
        print(f"browser: not measured ({error})")
        return
    lines = finished.stdout.splitlines() or [f"(web_bench.js printed nothing; exit status {finished.returncode})"]
    print("browser:")
    for line in lines:
        print("  " + line)


def main():
    global floor_path
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cubrix", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--before", help="an earlier saver program to run alongside")
    parser.add_argument("--also", action="append", default=[], metavar="NAME=CUBRIX",
                        help="a further saver program to run alongside, reported under NAME")
    parser.add_argument("--seconds", type=float, default=15.0)
    parser.add_argument("--rounds", type=int, default=1,
                        help="measure every configuration this many times and give each ratio's median")
    parser.add_argument("--syscall-seconds", type=float, default=5.0,
                        help="length of the strace pass that counts system calls (0: none)")
    parser.add_argument("--object", default=os.path.join(os.path.dirname(__file__), "..", "data", "Cube.dat"))
    parser.add_argument("--only", choices=[c[0] for c in CONFIGURATIONS])
    args = parser.parse_args()
    if args.rounds < 1:
        parser.error("--rounds wants 1 or more")
    floor_path = os.path.abspath(args.floor)
    args.cubrix = os.path.abspath(args.cubrix)
    extra = [("before", args.before)] if args.before else []
    for item in args.also:
        label, _, path = item.partition("=")
        if not label or not path or label in ("cubrix", "floor"):
            parser.error(f"--also wants NAME=PATH with a name other than cubrix and floor, not {item!r}")
        extra.append((label, path))
    if len({label for label, _ in extra}) != len(extra) or any(label == "cubrix" for label, _ in extra):
        parser.error("every saver program needs a name of its own")
    args.also = [(label, os.path.abspath(path)) for label, path in extra]
    if args.syscall_seconds > 0 and shutil.which("strace") is None:
        print("strace is not installed: no system-call pass (apt-get install strace)")
        args.syscall_seconds = 0
    with open("/proc/loadavg") as loadavg:
        print("load average before:", loadavg.read().strip())
    work = tempfile.mkdtemp(prefix="cubrix-process-bench-")
    try:
        ratios = {}
        for round_number in range(1, args.rounds + 1):
            if args.rounds > 1:
                print(f"# round {round_number} of {args.rounds}")
            for name, screen, pane in CONFIGURATIONS:
                if args.only is None or args.only == name:
                    results, load = measure(name, screen, pane, args, work)
                    report(name, results, load)
                    if round_number == 1:
                        report_browser(screen, pane, args.seconds)
                    floor = results["floor"]["client"] + results["floor"]["server"]
                    for program, r in results.items():
                        ratios.setdefault((name, program), []).append((r["client"] + r["server"]) / max(1e-9, floor))
        if args.rounds > 1:
            report_rounds(ratios)
    finally:
        shutil.rmtree(work, ignore_errors=True)


floor_path = None
if __name__ == "__main__":
    sys.exit(main())
