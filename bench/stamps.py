#!/usr/bin/env python3
"""T1 from the kernel, measured: bench/stamps.py BEFORE_CLIENT [RESULTS.md]

Inside a network namespace of its own (tests/in_netns.sh), interleaved plain runs of this
client (build/sntp-client), of an earlier build of it (BEFORE_CLIENT, whose T1 is the clock read
before the send) and of `chronyd -Q` (one server, maxsamples 1: a single sample as well),
against a chronyd on 127.0.0.1:123 whose clock is this machine's, so that the true offset is 0;
once on a quiet machine and once with both cores kept busy. For each it prints the median, 95th
percentile and largest |offset|, the clients' median wall time, and what the slowest 5 % of the
clients' runs are made of: the two legs of the exchange, T2 - T1 and T4 - T3, against all runs'.
Then each client's instructions for one plain run (valgrind's callgrind). RUNS sets the runs per
tool and load (default 100). Needs the default build, valgrind and chronyd (tests/chronyd.sh).
"""

import os
import re
import statistics
import subprocess
import sys
import tempfile

import bench

RUNS = int(os.environ.get("RUNS", "100"))
PLAIN = {"PATH": "/usr/sbin:/usr/bin:/bin", "TZ": "UTC", "NTP_SERVER_NAME": "127.0.0.1:123"}


def tools(work, before):
    return {
        "sntp-client": ([bench.CLIENT], r"Local Clock Offset = (\S+)"),
        "sntp-client, before": ([before], r"Local Clock Offset = (\S+)"),
        "chronyd -Q": ([bench.CHRONYD, "-Q", "-u", "root", "server 127.0.0.1 iburst maxsamples 1",
                        "cmdport 0", f"pidfile {work}/q.pid"], r"System clock wrong by (\S+) seconds"),
    }


def legs(out):
    """T2 - T1 and T4 - T3 of a client's report, in seconds."""
    t = [float(re.search(rf"T{i} = (\S+),", out).group(1)) for i in range(1, 5)]
    return t[1] - t[0], t[3] - t[2]


def measure(work, before, load):
    """RUNS interleaved runs of each tool, with `load` busy loops beside them: per tool, each
    run's (wall seconds, |offset| µs, legs)."""
    busy = [subprocess.Popen(["sh", "-c", "while :; do :; done"]) for _ in range(load)]
    measured = {name: [] for name in tools(work, before)}
    try:
        for _ in range(RUNS):
            for name, (argv, pattern) in tools(work, before).items():
                seconds, out = bench.run(argv, PLAIN)
                offset = abs(bench.number(pattern, out)) * 1e6
                measured[name].append((seconds, offset, legs(out) if "T1 =" in out else None))
    finally:
        for loop in busy:
            loop.kill()
    return measured


def rows(load_name, measured):
    lines = []
    for name, samples in measured.items():
        errors = sorted(e for _, e, _ in samples)
        p95 = statistics.quantiles(errors, n=20, method="inclusive")[-1]
        wall = f"{statistics.median(s for s, _, _ in samples) * 1e3:.2f}" if "sntp" in name else ""
        tail = ""
        if samples[0][2] is not None:
            slow = [lg for _, e, lg in samples if e >= p95]
            tail = (f"{statistics.median(o for o, _ in slow) * 1e6:.0f} / "
                    f"{statistics.median(b for _, b in slow) * 1e6:.0f} against "
                    f"{statistics.median(lg[0] for _, _, lg in samples) * 1e6:.0f} / "
                    f"{statistics.median(lg[1] for _, _, lg in samples) * 1e6:.0f}")
        lines.append(f"| {load_name} | {name} | {len(errors)} | {statistics.median(errors):.1f} | "
                     f"{p95:.1f} | {errors[-1]:.1f} | {wall} | {tail} |")
    return lines


def instructions(client):
    """Instructions of one plain run, as callgrind counts them."""
    done = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
                           client], env=PLAIN, capture_output=True, text=True, check=False)
    return int(re.search(r"Collected : (\d+)", done.stderr).group(1))


def main():
    bench.own_namespace()
    before = os.path.abspath(sys.argv[1])
    results = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else
                              os.path.join(bench.ROOT, "bench", "stamps.md"))
    table = ["| machine | tool | runs | median \\|offset\\| (µs) | 95th percentile (µs) | "
             "largest (µs) | median wall time (ms) | slowest 5 %: T2-T1 / T4-T3 (µs) |",
             "|---|---|---|---|---|---|---|---|"]
    with tempfile.TemporaryDirectory() as work:
        server = bench.start_chronyd(work)
        try:
            bench.wait_for_answers()
            for load_name, load in (("quiet", 0), ("both cores busy", os.cpu_count() or 2)):
                table += rows(load_name, measure(work, before, load))
            counted = {"sntp-client": instructions(bench.CLIENT), "before": instructions(before)}
        finally:
            server.terminate()
            server.wait()
    lines = [f"# T1 from the kernel, {RUNS} runs each, interleaved, against a loopback chronyd",
             "", *table, "", "Instructions of one plain run (callgrind): " +
             ", ".join(f"{name} {n}" for name, n in counted.items()), ""]
    bench.publish(lines, results)


if __name__ == "__main__":
    main()
