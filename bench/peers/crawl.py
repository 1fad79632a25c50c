#!/usr/bin/env python3
"""What a user would write instead of Tessaly: fetch every catalogue page one
after another with urllib and pull the rows out with the same patterns.

usage: crawl.py BASE_URL PAGES
Prints one JSON line: the rows found and the seconds the fetch-and-parse loop
took (interpreter start-up and imports not counted).
"""
import json
import re
import sys
import time
import urllib.request

SPACES20 = " " * 20
HEADER = re.compile(r'<th style="text-align:left;width:365px;">(.*?)</th>\r', re.I | re.M)
ROW = re.compile(
    r'<td><a target="_blank" href="/(.*?).html">(.*?)</a></td>\r\n' + SPACES20 +
    r'<td style="text-align:center;">(.*?)</td>\r\n' + SPACES20 +
    r'<td style="color:red;">(.*?)</td>\r\n' + SPACES20 +
    r'<td style="text-align:right;color:green;"><span class="date">(.*?)</span></td>',
    re.I | re.M)


def crawl(base: str, pages: int) -> list:
    rows = []
    for n in range(1, pages + 1):
        with urllib.request.urlopen(f"{base}index.php?page={n}", timeout=30) as reply:
            page = reply.read().decode("utf-8", errors="replace")
        header = HEADER.search(page)
        _title = header.group(1) if header else ""
        rows.extend((m[1], m[2], m[3], m[4]) for m in ROW.findall(page))
    return rows


def main() -> int:
    base, pages = sys.argv[1], int(sys.argv[2])
    start = time.perf_counter()
    rows = crawl(base, pages)
    seconds = time.perf_counter() - start
    print(json.dumps({"rows": len(rows), "seconds": seconds}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
