#!/usr/bin/env python3
"""Writes N HTML pages of about 5 KiB each for the noindex benchmark.

Pages lie 50 to a folder; one in ten carries <meta name="robots"
content="noindex"> in its head. The same N always gives the same site.

Usage: make_pages.py N DEST   (DEST must not exist yet)
"""
import os
import shutil
import sys

BODY = "<p>" + "Lorem ipsum dolor sit amet, consectetur adipiscing elit. " * 80 + "</p>\n"


def page(n):
    robots = '  <meta name="robots" content="noindex, follow">\n' if n % 10 == 3 else ""
    return ("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n  <meta charset=\"utf-8\">\n"
            f"  <title>Page {n}</title>\n{robots}  <link rel=\"stylesheet\" href=\"/style.css\">\n"
            f"</head>\n<body>\n<h1>Page {n}</h1>\n{BODY}</body>\n</html>\n")


def main(count, dest):
    partial = dest + ".partial"
    shutil.rmtree(partial, ignore_errors=True)
    for n in range(count):
        folder = os.path.join(partial, f"section-{n // 50:05d}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"page-{n:06d}.html"), "w") as out:
            out.write(page(n))
    os.rename(partial, dest)


if __name__ == "__main__":
    main(int(sys.argv[1]), sys.argv[2])
