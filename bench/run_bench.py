#!/usr/bin/env python3
"""Runs every benchmark against its peer in one go, prints one table and
writes the same figures to results.json.

usage: run_bench.py BUILD_DIR

Every ratio is measured here, in this run, over the same work on both sides;
nothing is carried over from an earlier run. Repeated measurements are
reduced to their median (the machine is shared and noisy).
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
PEERS = HERE / "peers"

CRAWL_PAGES = 300
CRAWL_ROWS_PER_PAGE = 30
CRAWL_ROUNDS = 9
PARSE_ROUNDS = 5
WINDOW_ROWS = 100_000
WINDOW_REPEATS = 9
MEMORY_RUNS = 3
STOPS = 20
STARTUP_RUNS = 15


class Bench:
    def __init__(self, build: Path):
        self.build = build
        self.driver = build / "bench" / "tessaly-bench"
        self.figures = []
        self.environment = dict(os.environ, QT_QPA_PLATFORM="offscreen",
                                XDG_RUNTIME_DIR=tempfile.mkdtemp(prefix="tessaly-bench-"))

    def add(self, name, value, unit, target=None, met=None, **sides):
        figure = {"name": name, "value": value, "unit": unit}
        figure.update(sides)
        if target is not None:
            figure["target"] = target
            figure["met"] = met
        self.figures.append(figure)

    def add_ratio(self, name, numerator, denominator, target=None, met=None):
        """numerator and denominator: (label, value, unit)."""
        value = numerator[1] / denominator[1]
        self.add(name, value, "x", target, None if met is None else met(value),
                 numerator={"name": numerator[0], "value": numerator[1], "unit": numerator[2]},
                 denominator={"name": denominator[0], "value": denominator[1],
                              "unit": denominator[2]})

    def records(self, *arguments, stdin=None):
        """Runs the driver and returns its JSON records."""
        done = subprocess.run([str(self.driver), *arguments], input=stdin, capture_output=True,
                              text=True, env=self.environment, check=True)
        return [json.loads(line) for line in done.stdout.splitlines() if line.startswith("{")]


def start_demo_site(build: Path):
    site = subprocess.Popen(
        [str(build / "tools" / "demo-site" / "tessaly-demo-site"), "--port", "0",
         "--pages", str(CRAWL_PAGES), "--rows", str(CRAWL_ROWS_PER_PAGE)],
        stdout=subprocess.PIPE, text=True)
    line = site.stdout.readline().strip()
    prefix = "demo site on "
    if not line.startswith(prefix):
        site.kill()
        raise RuntimeError(f"the demo site did not start: {line!r}")
    return site, line[len(prefix):]


def count_rows(html: str) -> int:
    sys.path.insert(0, str(PEERS))
    from crawl import ROW  # the peer's own pattern
    return len(ROW.findall(html))


def measure_crawl(bench: Bench, base_url: str):
    glob_url = f"{base_url}index.php?page=[1-{CRAWL_PAGES}]"
    # Checked once, outside the timed runs: curl kept one connection and saw
    # every row.
    connects = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{num_connects}\n",
                               glob_url], capture_output=True, text=True, check=True)
    curl_connections = sum(int(n) for n in connects.stdout.split())
    pages = subprocess.run(["curl", "-s", glob_url], capture_output=True, check=True)
    curl_rows = count_rows(pages.stdout.decode("utf-8", errors="replace"))

    driver = subprocess.Popen([str(bench.driver), "crawl", base_url], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, text=True, env=bench.environment)
    ready = json.loads(driver.stdout.readline())
    if ready.get("pages") != CRAWL_PAGES:
        raise RuntimeError(f"Tessaly saw {ready.get('pages')} pages, not {CRAWL_PAGES}")

    tessaly, curl, python = [], [], []
    tessaly_rows, python_rows = set(), set()
    for round_number in range(CRAWL_ROUNDS):
        # The three take turns, in a rotating order, so that a slow spell of
        # the machine does not fall on one of them only.
        for who in ["tessaly", "curl", "python"][round_number % 3:] + \
                   ["tessaly", "curl", "python"][:round_number % 3]:
            if who == "tessaly":
                driver.stdin.write("crawl\n")
                driver.stdin.flush()
                record = json.loads(driver.stdout.readline())
                tessaly.append(record["seconds"])
                tessaly_rows.add(record["rows"])
            elif who == "curl":
                start = time.perf_counter()
                subprocess.run(["curl", "-s", glob_url], stdout=subprocess.DEVNULL, check=True)
                curl.append(time.perf_counter() - start)
            else:
                done = subprocess.run([sys.executable, str(PEERS / "crawl.py"), base_url,
                                       str(CRAWL_PAGES)], capture_output=True, text=True,
                                      check=True)
                result = json.loads(done.stdout)
                python.append(result["seconds"])
                python_rows.add(result["rows"])
    driver.stdin.close()
    driver.wait()

    expected = CRAWL_PAGES * CRAWL_ROWS_PER_PAGE
    seen = {"tessaly": sorted(tessaly_rows), "curl": [curl_rows], "python": sorted(python_rows)}
    same_rows = all(rows == [expected] for rows in seen.values())
    bench.add("crawl_rows_all_equal", 1 if same_rows else 0, "bool", target="1",
              met=same_rows, rows_seen=seen, expected=expected)
    bench.add("crawl_curl_connections", curl_connections, "connections", target="1",
              met=curl_connections == 1)
    t, c, p = statistics.median(tessaly), statistics.median(curl), statistics.median(python)
    bench.add_ratio("crawl_vs_curl", ("tessaly", t, "s"), ("curl", c, "s"),
                    target="<= 1.5", met=lambda v: v <= 1.5)
    bench.add_ratio("crawl_speedup_vs_python", ("python", p, "s"), ("tessaly", t, "s"),
                    target=">= 3", met=lambda v: v >= 3)
    bench.add("crawl_tessaly_ms_per_page", t / CRAWL_PAGES * 1e3, "ms")


def measure_parsing(bench: Bench, work: Path):
    # Tessaly and Python take turns, round after round, so that a change in
    # the machine's load falls on both sides alike.
    pages = {}
    for _ in range(PARSE_ROUNDS):
        for record in bench.records("parse", str(work)):
            done = subprocess.run([sys.executable, str(PEERS / "parse.py"), record["path"]],
                                  capture_output=True, text=True, check=True, cwd=PEERS)
            python = json.loads(done.stdout)
            page = pages.setdefault(record["page"], {"tessaly": [], "python": [], "same": True,
                                                     "record": record, "python_matches": 0})
            page["tessaly"].append(record["seconds"])
            page["python"].append(python["seconds"])
            page["same"] = page["same"] and python["matches"] == record["matches"]
            page["python_matches"] = python["matches"]
    for name, page in pages.items():
        record = page["record"]
        figure = "parse_speedup_vs_python" + ("" if name == "typical" else "_1mb")
        bench.add_ratio(figure, ("python", statistics.median(page["python"]), "s"),
                        ("tessaly", statistics.median(page["tessaly"]), "s"),
                        target=">= 5", met=lambda v, same=page["same"]: v >= 5 and same)
        bench.figures[-1]["page_bytes"] = record["bytes"]
        bench.figures[-1]["matches"] = {"tessaly": record["matches"],
                                        "python": page["python_matches"]}
        bench.figures[-1]["rounds"] = {"tessaly": page["tessaly"], "python": page["python"]}


def measure_window_calls(bench: Bench):
    [record] = bench.records("window-calls", str(WINDOW_ROWS), str(WINDOW_REPEATS))
    if not record["complete"]:
        raise RuntimeError("the window did not hold every row")
    bench.add_ratio("window_calls_job_vs_direct", ("job thread", record["job_seconds"], "s"),
                    ("window thread", record["direct_seconds"], "s"),
                    target="<= 2", met=lambda v: v <= 2)
    calls = record["rows"] * record["calls_per_row"]
    bench.add("window_calls_per_second_from_job", calls / record["job_seconds"], "calls/s")

    per_row = []
    for _ in range(MEMORY_RUNS):
        [memory] = bench.records("row-memory", str(WINDOW_ROWS))
        per_row.append(memory["bytes_per_row"])
    value = statistics.median(per_row)
    bench.add("memory_per_row_bytes", value, "bytes", target="<= 256", met=value <= 256,
              rows=WINDOW_ROWS, samples=per_row, text_bytes=memory["text_bytes"])


def measure_stop_latency(bench: Bench):
    [record] = bench.records("stop-latency", str(STOPS))
    median_ms = record["median_seconds"] * 1e3
    bench.add("stop_latency_median_ms", median_ms, "ms", target="<= 100",
              met=median_ms <= 100, stops=record["stops"])
    bench.add("stop_latency_max_ms", record["max_seconds"] * 1e3, "ms", stops=record["stops"])


def startup_seconds(bench: Bench, program: Path, *arguments) -> float:
    started = time.monotonic_ns()
    child = subprocess.Popen([str(program), *arguments], stdout=subprocess.PIPE, text=True,
                             env=bench.environment)
    line = child.stdout.readline().split()
    child.wait()
    if len(line) != 2 or line[0] != "shown":
        raise RuntimeError(f"{program.name} did not report its window")
    return (int(line[1]) - started) / 1e9


def measure_startup(bench: Bench, base_url: str):
    tessaly_probe = bench.build / "bench" / "tessaly-startup-probe"
    bare_probe = bench.build / "bench" / "bare-qt-startup-probe"
    tessaly, bare = [], []
    for run in range(STARTUP_RUNS):
        pair = [(tessaly, tessaly_probe, (base_url,)), (bare, bare_probe, ())]
        for samples, program, arguments in (pair if run % 2 == 0 else pair[::-1]):
            samples.append(startup_seconds(bench, program, *arguments))
    bench.add_ratio("startup_vs_bare_qt", ("tessaly", statistics.median(tessaly), "s"),
                    ("bare qt", statistics.median(bare), "s"), target="none yet")


def describe_sides(figure) -> str:
    if "numerator" not in figure:
        return ""
    def side(s):
        value, unit = s["value"], s["unit"]
        shown = f"{value * 1e3:.3f} ms" if unit == "s" else f"{value:g} {unit}"
        return f"{s['name']} {shown}"
    return f"{side(figure['numerator'])} / {side(figure['denominator'])}"


def print_table(figures):
    rows = [("figure", "value", "unit", "measured sides", "target", "met")]
    for f in figures:
        value = f["value"]
        shown = f"{value:.2f}" if isinstance(value, float) else str(value)
        met = "" if f.get("met") is None else ("yes" if f["met"] else "NO")
        rows.append((f["name"], shown, f["unit"], describe_sides(f), f.get("target", ""), met))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    for number, row in enumerate(rows):
        print("  ".join(cell.ljust(widths[i]) for i, cell in enumerate(row)).rstrip())
        if number == 0:
            print("  ".join("-" * w for w in widths))


def main() -> int:
    build = Path(sys.argv[1]).resolve()
    bench = Bench(build)
    site, base_url = start_demo_site(build)
    try:
        with tempfile.TemporaryDirectory(prefix="tessaly-pages-") as work:
            steps = [("crawl", lambda: measure_crawl(bench, base_url)),
                     ("parsing", lambda: measure_parsing(bench, Path(work))),
                     ("window calls and memory", lambda: measure_window_calls(bench)),
                     ("stop latency", lambda: measure_stop_latency(bench)),
                     ("start-up", lambda: measure_startup(bench, base_url))]
            for title, step in steps:
                print(f"== {title}", file=sys.stderr, flush=True)
                step()
    finally:
        site.terminate()
        site.wait()
    results = build / "results.json"
    results.write_text(json.dumps(bench.figures, indent=2) + "\n")
    print_table(bench.figures)
    print(f"\n(written to {results})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
