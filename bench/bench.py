#!/usr/bin/env python3
"""Benchmark of sntp-client, run with one command: bench/bench.py [RESULTS.md]

Inside a network namespace of its own (tests/in_netns.sh), interleaved runs of sntp-client,
`chronyd -Q` (one server, maxsamples 1) and ntpdig
- against a chronyd on 127.0.0.1:123 that never touches the clock and whose clock is this
  machine's own, so that the true offset is 0: each run's wall time, peak RSS and offset; it
  also serves NTS (its key exchange on port 4460, with a certificate from a CA made here), and
  sntp-client and `chronyd -Q` ask it with NTS too;
- against the loopback test server on port 123 injecting +0.250 s and -3.000 s behind a
  symmetric 20 ms round trip: each run's offset, whose error is what it reports less that.
For each tool it prints the median, 95th percentile and largest |error| of the offset, the
smallest round trip sntp-client reports, and the libraries sntp-client loads. It writes the
Markdown report to RESULTS.md (default bench/results.md). RUNS sets the runs per tool and per
server (default 60). Needs the default build (build/) and the packages ntpsec-ntpdig and time;
chronyd comes from tests/chronyd.sh, which takes it from its package without installing it.
"""

import os
import re
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
RUNS = int(os.environ.get("RUNS", "60"))
INJECTED = [0.250, -3.000]  # offsets, seconds, each behind a round trip of DELAY
DELAY = 0.020


def run(argv, env):
    """One whole run: wall seconds and what it printed on both streams; at most 10 s."""
    start = time.perf_counter()
    done = subprocess.run(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, timeout=10, check=False)
    return time.perf_counter() - start, done.stdout


def peak_rss(argv, env, work):
    """Peak RSS in KiB of one more run, taken by GNU time: a child spawned from Python would
    count Python's own pages (exec keeps the high-water mark of a shared address space)."""
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", f"{work}/rss", *argv], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10, check=False)
    with open(f"{work}/rss") as rss:
        return int(rss.read().split()[-1])


def number(pattern, text):
    found = re.search(pattern, text)
    return float(found.group(1)) if found else float("nan")


def tools(work):
    """Each tool's command, the pattern of the offset it reports, and its environment."""
    plain = {"PATH": "/usr/sbin:/usr/bin:/bin", "TZ": "UTC"}
    nts = dict(plain, NTP_AUTHENTICATION="NTS", NTS_TRUSTED_CERTS=f"{work}/ca.pem",
               NTP_SERVER_NAME="127.0.0.1")
    return {
        "sntp-client NTS": ([CLIENT], r"Local Clock Offset = (\S+)", nts),
        "chronyd -Q NTS": ([CHRONYD, "-Q", "-u", "root", "server 127.0.0.1 iburst nts maxsamples 1",
                            f"ntstrustedcerts {work}/ca.pem", "cmdport 0",
                            f"pidfile {work}/q.pid"], r"System clock wrong by (\S+) seconds", plain),
        "sntp-client": ([CLIENT], r"Local Clock Offset = (\S+)",
                        dict(plain, NTP_SERVER_NAME="127.0.0.1:123")),
        "ntpdig": (["ntpdig", "127.0.0.1"], r"\) ([+-]\d+\.\d+) \+/-", plain),
        "chronyd -Q": ([CHRONYD, "-Q", "-u", "root", "server 127.0.0.1 iburst maxsamples 1",
                        "cmdport 0", f"pidfile {work}/q.pid"],
                       r"System clock wrong by (\S+) seconds", plain),
    }


def certificates(work):
    """A CA and chronyd's certificate for 127.0.0.1, signed by it."""
    key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"]
    subprocess.run(["openssl", "req", "-x509", *key, "-days", "2", "-keyout", f"{work}/ca.key",
                    "-out", f"{work}/ca.pem", "-subj", "/CN=bench-ca"], capture_output=True,
                   check=True)
    subprocess.run(["openssl", "req", *key, "-keyout", f"{work}/server.key", "-out",
                    f"{work}/server.csr", "-subj", "/CN=127.0.0.1"], capture_output=True,
                   check=True)
    with open(f"{work}/ext", "w") as ext:
        ext.write("subjectAltName=IP:127.0.0.1\n")
    subprocess.run(["openssl", "x509", "-req", "-in", f"{work}/server.csr", "-CA",
                    f"{work}/ca.pem", "-CAkey", f"{work}/ca.key", "-days", "2", "-extfile",
                    f"{work}/ext", "-out", f"{work}/server.pem"], capture_output=True, check=True)


def start_chronyd(work):
    certificates(work)
    with open(f"{work}/server.conf", "w") as conf:
        conf.write(f"port 123\nbindaddress 127.0.0.1\ncmdport 0\nlocal stratum 8\n"
                   f"allow 127.0.0.1\npidfile {work}/server.pid\ndriftfile {work}/drift\n"
                   f"ntsserverkey {work}/server.key\nntsservercert {work}/server.pem\n"
                   f"ntsdumpdir {work}\n")
    return subprocess.Popen([CHRONYD, "-x", "-d", "-u", "root", "-f", f"{work}/server.conf"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wait_for_answers():
    for _ in range(50):
        if "Local Clock Offset" in run([CLIENT], {"NTP_SERVER_NAME": "127.0.0.1:123"})[1]:
            return
        time.sleep(0.1)
    sys.exit("the server on port 123 did not answer")


def measure(work, server, truth, with_speed, nts):
    """RUNS interleaved runs of each tool (with NTS too when nts) against the server: per tool,
    the samples (wall seconds, peak KiB, offset error, round trip) of each run."""
    chosen = {name: tool for name, tool in tools(work).items() if nts or "NTS" not in name}
    measured = {name: [] for name in chosen}
    try:
        wait_for_answers()
        for _ in range(RUNS):  # interleaved, so that drift in the machine's load hits all alike
            for name, (argv, pattern, env) in chosen.items():
                seconds, out = run(argv, env)
                rss = peak_rss(argv, env, work) if with_speed else 0
                measured[name].append((seconds, rss, number(pattern, out) - truth,
                                       number(r"Roundtrip Delay += (\S+)", out)))
    finally:
        server.terminate()
        server.wait()
    return measured


def speed_rows(measured):
    base = statistics.median(s for s, _, _, _ in measured["sntp-client"])
    rows = ["| tool | median wall time (ms) | p10 to p90 (ms) | ratio to sntp-client | "
            "peak RSS (MiB) |", "|---|---|---|---|---|"]
    for name, samples in measured.items():
        times = sorted(s for s, _, _, _ in samples)
        deciles = statistics.quantiles(times, n=10)
        rows.append(f"| {name} | {statistics.median(times) * 1e3:.2f} | {deciles[0] * 1e3:.2f} "
                    f"to {deciles[-1] * 1e3:.2f} | {statistics.median(times) / base:.2f} | "
                    f"{max(r for _, r, _, _ in samples) / 1024:.1f} |")
    return rows


def accuracy_rows(server_name, measured):
    rows = []
    for name, samples in measured.items():
        errors = sorted(abs(e) * 1e6 for _, _, e, _ in samples)
        p95 = statistics.quantiles(errors, n=20, method="inclusive")[-1]
        trips = [d for _, _, _, d in samples if d == d]
        smallest = f"{min(trips) * 1e6:+.0f}" if trips else ""
        rows.append(f"| {server_name} | {name} | {len(errors)} | {statistics.median(errors):.0f} | "
                    f"{p95:.0f} | {errors[-1]:.0f} | "
                    f"{smallest} |")
    return rows


def libraries():
    out = subprocess.run(["ldd", CLIENT], capture_output=True, text=True, check=True).stdout
    return ", ".join(line.split()[0] for line in out.splitlines())


def own_namespace():
    """Runs this script again inside a network namespace of its own, unless it is there."""
    if os.environ.get("SNTP_BENCH_INSIDE") != "1":
        os.environ["SNTP_BENCH_INSIDE"] = "1"
        os.execv(os.path.join(ROOT, "tests", "in_netns.sh"), ["in_netns.sh", *sys.argv])


def publish(lines, results):
    """The Markdown report, printed and written to RESULTS."""
    report = "\n".join(lines)
    print(report)
    with open(results, "w") as out:
        out.write(report)


def main():
    own_namespace()
    results = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                              os.path.join(ROOT, "bench", "results.md"))
    accuracy = ["| server | tool | runs | median \\|error\\| (µs) | 95th percentile (µs) | "
                "largest (µs) | smallest round trip (µs) |", "|---|---|---|---|---|---|---|"]
    with tempfile.TemporaryDirectory() as work:
        measured = measure(work, start_chronyd(work), 0, with_speed=True, nts=True)
        speed = speed_rows(measured)
        accuracy += accuracy_rows("chronyd", measured)
        for offset in INJECTED:
            server = subprocess.Popen([TEST_SERVER, "127.0.0.1", "123", f"offset={offset}",
                                       f"delay={DELAY}"], stdout=subprocess.DEVNULL)
            accuracy += accuracy_rows(f"test server, {offset:+.3f} s",
                                      measure(work, server, offset, with_speed=False,
                                              nts=False))
    lines = [f"# sntp-client benchmark, {time.strftime('%Y-%m-%d')}, {os.cpu_count()} cores", "",
             f"sntp-client loads: {libraries()}", "",
             f"## Whole runs against a loopback chronyd, {RUNS} each, interleaved", "", *speed,
             "", "## Offset error, interleaved runs", "",
             "chronyd's clock is this machine's, so its true offset is 0; the test server "
             f"injects its offset behind a symmetric round trip of {DELAY * 1e3:.0f} ms.", "",
             *accuracy, ""]
    publish(lines, results)


if __name__ == "__main__":
    main()
