#!/usr/bin/env python3
"""What a running saver costs the machine: `cubrix /s` (or `/p` in a preview pane) against the
floor program, side by side, each on its own Xvfb, for a fixed sample of frames.

Prints per configuration: client and X server CPU per frame, the ratio of the totals, and the
client's peak RSS with what it is made of. CPU time comes from the scheduler's own account
(/proc/<pid>/task/*/sched, nanoseconds) over the sample; frames from the program's own count
(times.dat for the saver, the floor program's last line), prorated to the sample.

Usage: bench/process_bench.py --cubrix build/bench/host/cubrix --floor build/bench/bench/floor_program
       [--before OTHER_CUBRIX] [--seconds 15] [--object data/Cube.dat] [--only 1080p|640x480|preview]
With --before, a second saver program (an earlier build) runs alongside, so that a change is
measured before and after in one run.
Not a test: the numbers depend on the machine and its load, which is printed alongside.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

WARM_UP_S = 1.5
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
        return cpu_ms(self.client.pid), cpu_ms(self.server.pid)

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
    savers = [("cubrix", args.cubrix)] + ([("before", args.before)] if args.before else [])
    runs = []
    for program, path in savers:
        drive = os.path.join(work, f"drive-{name}-{program}")
        os.makedirs(os.path.join(drive, "windows"), exist_ok=True)
        shutil.copyfile(args.object, os.path.join(drive, "windows", "Cube.dat"))
        run = Run(program, screen, pane, lambda target, path=path: [path, "/s"] if target is None else [path, "/p", target],
                  {"CUBRIX_DRIVE": drive})
        run.frames = lambda drive=drive: saver_frames(drive)
        runs.append(run)
    floor = Run("floor", screen, pane, lambda target: [floor_path] if target is None else [floor_path, "--in", target])
    floor.frames = lambda: floor_frames(floor.output)
    runs.append(floor)
    time.sleep(WARM_UP_S)
    busy_before = machine_busy()
    before = {run.name: run.mark() for run in runs}
    started = time.monotonic()
    time.sleep(args.seconds)
    sample_ms = (time.monotonic() - started) * 1000
    after = {run.name: run.mark() for run in runs}
    busy_after = machine_busy()
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
        results[run.name] = dict(frames=sample_frames, client=client / sample_frames, server=server / sample_frames,
                                 memory=run.memory)
    load = 100.0 * (busy_after[0] - busy_before[0]) / max(1, busy_after[1] - busy_before[1])
    return results, load


def report(name, results, load):
    print(f"== {name}  (whole machine busy {load:.0f} % of its 2 cores during the sample)")
    print(f"{'program':8} {'frames':>7} {'client ms/f':>12} {'server ms/f':>12} {'total ms/f':>11} "
          f"{'peak RSS MiB':>13} {'anon/file/shm MiB':>18}")
    for program in [p for p in ("cubrix", "before", "floor") if p in results]:
        r = results[program]
        m = r["memory"]
        parts = "/".join(f"{m.get(k, 0) / 1024:.1f}" for k in ("RssAnon", "RssFile", "RssShmem"))
        print(f"{program:8} {r['frames']:7.0f} {r['client']:12.3f} {r['server']:12.3f} "
              f"{r['client'] + r['server']:11.3f} {m.get('VmHWM', 0) / 1024:13.1f} {parts:>18}")
    floor = results["floor"]
    for program in [p for p in ("cubrix", "before") if p in results]:
        saver = results[program]
        ratio = (saver["client"] + saver["server"]) / max(1e-9, floor["client"] + floor["server"])
        print(f"ratio of totals, {program} / floor: {ratio:.2f}")


def main():
    global floor_path
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cubrix", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--before", help="an earlier saver program to run alongside")
    parser.add_argument("--seconds", type=float, default=15.0)
    parser.add_argument("--object", default=os.path.join(os.path.dirname(__file__), "..", "data", "Cube.dat"))
    parser.add_argument("--only", choices=[c[0] for c in CONFIGURATIONS])
    args = parser.parse_args()
    floor_path = os.path.abspath(args.floor)
    args.cubrix = os.path.abspath(args.cubrix)
    args.before = os.path.abspath(args.before) if args.before else None
    with open("/proc/loadavg") as loadavg:
        print("load average before:", loadavg.read().strip())
    work = tempfile.mkdtemp(prefix="cubrix-process-bench-")
    try:
        for name, screen, pane in CONFIGURATIONS:
            if args.only is None or args.only == name:
                results, load = measure(name, screen, pane, args, work)
                report(name, results, load)
    finally:
        shutil.rmtree(work, ignore_errors=True)


floor_path = None
if __name__ == "__main__":
    sys.exit(main())
