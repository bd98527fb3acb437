#!/usr/bin/env python3
"""Writes N HTML pages of about 5 KiB each for the noindex benchmark.

Pages lie 50 to a folder; one in ten carries <meta name="robots"
content="noindex"> in its head. The same N always gives the same site.

With --links every page also names itself as canonical and has two
language versions, itself and its neighbour, which names it back: what
--canonical and --hreflang read.

Usage: make_pages.py N DEST [--links]   (DEST must not exist yet)
"""
import os
import shutil
import sys

BODY = "<p>" + "Lorem ipsum dolor sit amet, consectetur adipiscing elit. " * 80 + "</p>\n"


def url_of(n):
    return f"/section-{n // 50:05d}/page-{n:06d}.html"


def links(n):
    en, ja = (n, n ^ 1) if n % 2 == 0 else (n ^ 1, n)
    return (f'  <link rel="canonical" href="{url_of(n)}">\n'
            f'  <link rel="alternate" hreflang="en" href="{url_of(en)}">\n'
            f'  <link rel="alternate" hreflang="ja" href="{url_of(ja)}">\n')


def page(n, with_links=False):
    robots = '  <meta name="robots" content="noindex, follow">\n' if n % 10 == 3 else ""
    robots += links(n) if with_links else ""
    return ("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n  <meta charset=\"utf-8\">\n"
            f"  <title>Page {n}</title>\n{robots}  <link rel=\"stylesheet\" href=\"/style.css\">\n"
            f"</head>\n<body>\n<h1>Page {n}</h1>\n{BODY}</body>\n</html>\n")


def main(count, dest, with_links):
    partial = dest + ".partial"
    shutil.rmtree(partial, ignore_errors=True)
    for n in range(count):
        folder = os.path.join(partial, f"section-{n // 50:05d}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"page-{n:06d}.html"), "w") as out:
            out.write(page(n, with_links))
    if with_links:
        with open(os.path.join(partial, "robots.txt"), "w") as out:
            out.write("User-agent: *\nDisallow: /section-00001/\nAllow: /section-00001/page-000050.html\n"
                      "Disallow: /*.bak$\n\nSitemap: https://example.jp/nubika_sitemap.xml\n")
    os.rename(partial, dest)


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4) or sys.argv[3:] not in ([], ["--links"]):
        sys.exit(__doc__)
    main(int(sys.argv[1]), sys.argv[2], sys.argv[3:] == ["--links"])
