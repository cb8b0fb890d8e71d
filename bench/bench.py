#!/usr/bin/env python3
"""Benchmark of sntp-client, run with one command: bench/bench.py [RESULTS.md]

Inside a network namespace of its own (tests/in_netns.sh) it starts a chronyd on 127.0.0.1:123
that never touches the clock, then
- times whole runs of sntp-client, `chronyd -Q` (one server, maxsamples 1) and ntpdig against
  it, interleaved, and takes each run's peak RSS;
- measures the error of the offset sntp-client reports against the loopback test server, which
  injects a known offset behind a known symmetric delay.
It prints a Markdown report and writes it to RESULTS.md (default bench/results.md), with a
histogram of the error as PNG beside it when gnuplot is installed. RUNS sets the runs per tool
and per offset (default 200). Needs the default build (build/) and the package ntpsec-ntpdig;
chronyd comes from tests/chronyd.sh, which takes it from its package without installing it.
"""

import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLIENT = os.path.join(ROOT, "build", "sntp-client")
TEST_SERVER = os.path.join(ROOT, "tests", "ntp_test_server.py")
CHRONYD = subprocess.run([os.path.join(ROOT, "tests", "chronyd.sh")], capture_output=True,
                         text=True, check=False).stdout.strip() or "chronyd"
RUNS = int(os.environ.get("RUNS", "200"))
INJECTED = [(0.250, 0.020), (-3.000, 0.020)]  # offset and round-trip delay, seconds
CLOCK_READ_BOUND = 0.001  # T1 and T4 are read with millisecond truncation


def run(argv, env=None):
    """One whole run: wall seconds and what it printed on both streams."""
    read, write = os.pipe()
    actions = [(os.POSIX_SPAWN_DUP2, write, 1), (os.POSIX_SPAWN_DUP2, write, 2),
               (os.POSIX_SPAWN_CLOSE, read), (os.POSIX_SPAWN_CLOSE, write)]
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, env or {"TZ": "UTC", "PATH": "/usr/sbin:/usr/bin:/bin"},
                          file_actions=actions)
    os.close(write)
    with os.fdopen(read, "rb") as pipe:
        out = pipe.read().decode(errors="replace")
    os.waitpid(pid, 0)
    return time.perf_counter() - start, out


def peak_rss(argv, env, work):
    """Peak RSS in KiB of one more run, taken by GNU time: a child spawned from Python would
    count Python's own pages (exec keeps the high-water mark of a shared address space)."""
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", f"{work}/rss", *argv], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    with open(f"{work}/rss") as rss:
        return int(rss.read().split()[-1])


def number(pattern, text):
    found = re.search(pattern, text)
    return float(found.group(1)) if found else float("nan")


def tools(work):
    return {
        "sntp-client": ([CLIENT], r"Local Clock Offset = (\S+)",
                        {"TZ": "UTC", "NTP_SERVER_NAME": "127.0.0.1:123"}),
        "chronyd -Q": ([CHRONYD, "-Q", "-u", "root", "server 127.0.0.1 iburst maxsamples 1",
                        "cmdport 0", f"pidfile {work}/q.pid"],
                       r"System clock wrong by (\S+) seconds", None),
        "ntpdig": (["ntpdig", "127.0.0.1"], r"\) ([+-]\d+\.\d+) \+/-", None),
    }


def start_chronyd(work):
    with open(f"{work}/server.conf", "w") as conf:
        conf.write(f"port 123\nbindaddress 127.0.0.1\ncmdport 0\nlocal stratum 8\n"
                   f"allow 127.0.0.1\npidfile {work}/server.pid\ndriftfile {work}/drift\n")
    server = subprocess.Popen([CHRONYD, "-x", "-d", "-u", "root", "-f", f"{work}/server.conf"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(50):
        if "Local Clock Offset" in run([CLIENT], {"NTP_SERVER_NAME": "127.0.0.1:123"})[1]:
            return server
        time.sleep(0.1)
    sys.exit("chronyd did not answer")


def speed(work):
    measured = {name: [] for name in tools(work)}
    for _ in range(RUNS):  # interleaved, so that drift in the machine's load hits all alike
        for name, (argv, pattern, env) in tools(work).items():
            seconds, out = run(argv, env)
            measured[name].append((seconds, peak_rss(argv, env, work), number(pattern, out)))
    base = statistics.median(s for s, _, _ in measured["sntp-client"])
    rows = ["| tool | median wall time (ms) | p10 to p90 (ms) | ratio to sntp-client | "
            "peak RSS (MiB) | median offset reported (s) |", "|---|---|---|---|---|---|"]
    for name, samples in measured.items():
        times = sorted(s for s, _, _ in samples)
        deciles = statistics.quantiles(times, n=10)
        rows.append(f"| {name} | {statistics.median(times) * 1e3:.2f} | {deciles[0] * 1e3:.2f} to "
                    f"{deciles[-1] * 1e3:.2f} | {statistics.median(times) / base:.2f} | "
                    f"{max(r for _, r, _ in samples) / 1024:.1f} | "
                    f"{statistics.median(o for _, _, o in samples):+.6f} |")
    return rows


def accuracy(work):
    rows = [f"| injected offset (s) | delay (ms) | runs | mean error (ms) | median error (ms) | "
            f"max abs error (ms) | within the bound |", "|---|---|---|---|---|---|---|"]
    errors_all = []
    for port, (offset, delay) in enumerate(INJECTED, start=2123):
        server = subprocess.Popen([TEST_SERVER, "127.0.0.1", str(port), f"offset={offset}",
                                   f"delay={delay}"], stdout=subprocess.DEVNULL)
        time.sleep(0.2)
        errors = []
        for _ in range(RUNS):
            out = run([CLIENT], {"TZ": "UTC", "NTP_SERVER_NAME": f"127.0.0.1:{port}"})[1]
            errors.append(number(r"Local Clock Offset = (\S+)", out) - offset)
        server.terminate()
        server.wait()
        errors_all += errors
        worst = max(abs(e) for e in errors)
        inside = sum(abs(e) <= CLOCK_READ_BOUND for e in errors)
        rows.append(f"| {offset:+.3f} | {delay * 1e3:.0f} | {RUNS} | "
                    f"{statistics.mean(errors) * 1e3:+.3f} | {statistics.median(errors) * 1e3:+.3f} | "
                    f"{worst * 1e3:.3f} | {inside} of {RUNS} |")
    return rows, errors_all


def histogram(errors, png):
    if shutil.which("gnuplot") is None:
        return False
    data = png + ".dat"
    with open(data, "w") as out:
        out.writelines(f"{e * 1e3}\n" for e in errors)
    script = (f"set terminal png size 800,400; set output '{png}'; set xlabel 'error (ms)';"
              f"set ylabel 'runs'; set boxwidth 0.05; bin(x)=0.05*floor(x/0.05);"
              f"plot '{data}' using (bin($1)):(1.0) smooth freq with boxes title 'offset error'")
    subprocess.run(["gnuplot", "-e", script], check=True)
    os.remove(data)
    return True


def main():
    if os.environ.get("SNTP_BENCH_INSIDE") != "1":
        os.environ["SNTP_BENCH_INSIDE"] = "1"
        os.execv(os.path.join(ROOT, "tests", "in_netns.sh"), ["in_netns.sh", *sys.argv])
    results = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                              os.path.join(ROOT, "bench", "results.md"))
    with tempfile.TemporaryDirectory() as work:
        server = start_chronyd(work)
        try:
            speed_rows = speed(work)
        finally:
            server.terminate()
            server.wait()
        accuracy_rows, errors = accuracy(work)
    png = os.path.splitext(results)[0] + "-error.png"
    lines = [f"# sntp-client benchmark, {time.strftime('%Y-%m-%d')}, {os.cpu_count()} cores", "",
             f"## Whole runs against a loopback chronyd, {RUNS} each, interleaved", "",
             *speed_rows, "", "## Offset error against the loopback test server", "",
             f"Bound: {CLOCK_READ_BOUND * 1e3:.0f} ms, the millisecond truncation of T1 and T4 "
             "(the delay is symmetric).", "", *accuracy_rows, ""]
    if histogram(errors, png):
        lines += [f"![offset error]({os.path.basename(png)})", ""]
    report = "\n".join(lines)
    print(report)
    with open(results, "w") as out:
        out.write(report)


if __name__ == "__main__":
    main()
