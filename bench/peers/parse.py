#!/usr/bin/env python3
"""The row pattern with Python's re.findall over an already-decoded page.

usage: parse.py PAGE_FILE   (UTF-8, as the site sends it)
Prints one JSON line: matches, median seconds per findall and the samples.
Passes per sample are chosen so that a sample lasts at least 20 ms.
"""
import json
import statistics
import sys
import time

from crawl import ROW

SAMPLES = 15
MIN_SAMPLE_SECONDS = 0.02


def main() -> int:
    with open(sys.argv[1], "rb") as source:
        page = source.read().decode("utf-8", errors="replace")
    matches = len(ROW.findall(page))
    passes = 1
    while True:
        start = time.perf_counter()
        for _ in range(passes):
            ROW.findall(page)
        if time.perf_counter() - start >= MIN_SAMPLE_SECONDS:
            break
        passes *= 2
    samples = []
    for _ in range(SAMPLES):
        start = time.perf_counter()
        for _ in range(passes):
            ROW.findall(page)
        samples.append((time.perf_counter() - start) / passes)
    print(json.dumps({"matches": matches, "seconds": statistics.median(samples),
                      "samples": samples}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
