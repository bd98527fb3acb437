#!/usr/bin/env python3
"""Checks a sitemap against the server that serves its site.

usage: check_served.py SITEMAP SITE BASE_URL [LEFT_OUT]

Every <loc> is fetched with HTTP/1.1, its path sent exactly as the sitemap
has it, and must answer 200 with the bytes of its file on disk (a URL
ending in "/" stands for the index page the server picks in that folder).
Every page of SITE must be listed exactly once, and nothing else. A page is
a regular file, or a link that resolves to one, whose name ends in .html or
.htm; links to folders are never entered, as the program does not enter
them either. A page whose URL would be longer than the protocol's 2,048
characters must be left out, and no <loc> may be longer. The pages named
in the file LEFT_OUT, one a line, must not be listed; every xhtml:link
href under BASE_URL must answer 200.
"""
import collections
import http.client
import os
import socket
import stat
import sys
import urllib.parse
import xml.etree.ElementTree as ElementTree

SITEMAP_NS = "{http://www.sitemaps.org/schemas/sitemap/0.9}"
XHTML_LINK = "{http://www.w3.org/1999/xhtml}link"
PAGE_ENDINGS = (b".html", b".htm")
INDEX_PAGES = (b"index.html", b"index.htm")  # the server's index directive, in its order
MAX_URL = 2048
SEGMENT_SAFE = "-._~!$&'()*+,;=:@"  # what a path segment may hold as it is


def url_of(base, relative):
    return base + "/".join(urllib.parse.quote(segment, safe=SEGMENT_SAFE) for segment in relative.split(b"/"))


def shown(path):
    text = path.decode("utf-8", "backslashreplace")
    return text if len(text) <= 120 else f"{text[:50]}...{text[-50:]} ({len(path)} bytes)"


def is_regular_file(path):
    try:
        return stat.S_ISREG(os.stat(path).st_mode)
    except OSError:
        return False


def pages_of(site):
    """Relative paths of every page; iterative, for trees deeper than
    Python's recursion limit."""
    pages = set()
    folders = [b""]
    while folders:
        folder = folders.pop()
        with os.scandir(os.path.join(site, folder) if folder else site) as entries:
            for entry in entries:
                relative = os.path.join(folder, entry.name) if folder else entry.name
                if entry.is_dir(follow_symlinks=False):
                    folders.append(relative)
                elif entry.name.endswith(PAGE_ENDINGS) and is_regular_file(entry.path):
                    pages.add(relative)
    return pages


def file_of(site, relative):
    """The site file a decoded URL path stands for, or None when the path
    holds a segment no server maps to a file of that name."""
    segments = relative.split(b"/")
    if any(segment in (b"", b".", b"..") for segment in segments[:-1]):
        return None
    if segments[-1] in (b".", b".."):
        return None
    if segments[-1] == b"":
        for index in INDEX_PAGES:
            if is_regular_file(os.path.join(site, relative + index)):
                return relative + index
        return relative + INDEX_PAGES[0]
    return relative


def fetch(host, port, target):
    """Status and body of GET target, the bytes sent untouched."""
    with socket.create_connection((host, port), timeout=10) as sock:
        sock.sendall(b"GET " + target + b" HTTP/1.1\r\nHost: %s:%d\r\n"
                     b"Connection: close\r\n\r\n" % (host.encode(), port))
        response = http.client.HTTPResponse(sock, method="GET")
        response.begin()
        return response.status, response.read()


def check_loc(loc, base, site, listed):
    """Fetches one loc; returns what is wrong with it, or None."""
    if not loc.startswith(base):
        return f"{loc}: not under {base}"
    if len(loc) > MAX_URL:
        return f"{loc[:80]}...: longer than {MAX_URL} characters"
    target = loc[len(base) - 1:].encode()  # from the base's final "/" on
    relative = file_of(site, urllib.parse.unquote_to_bytes(target[1:]))
    if relative is None:
        return f"{loc}: empty or dot segment in the path"
    listed[relative] += 1
    split = urllib.parse.urlsplit(base)
    status, body = fetch(split.hostname, split.port, target)
    if status != 200:
        return f"{loc}: status {status}"
    path = os.path.join(site, relative)
    if not is_regular_file(path):
        return f"{loc}: served, but {shown(relative)} is not a regular file"
    with open(path, "rb") as page:
        if body != page.read():
            return f"{loc}: body differs from {shown(relative)}"
    return None


def check_alternate(href, base):
    """Fetches one xhtml:link href inside the base; what is wrong, or None."""
    split = urllib.parse.urlsplit(base)
    status, _ = fetch(split.hostname, split.port, href[len(base) - 1:].encode())
    return None if status == 200 else f"xhtml:link {href}: status {status}"


def main(argv):
    if len(argv) not in (4, 5) or not argv[3].endswith("/"):
        sys.exit(__doc__)
    sitemap, site, base = argv[1], os.fsencode(os.path.abspath(argv[2])), argv[3]
    left_out = set()
    if len(argv) == 5:
        with open(argv[4], "rb") as names:
            left_out = {line.rstrip(b"\n") for line in names if line.strip()}
    tree = ElementTree.parse(sitemap)
    locs = [element.text or "" for element in tree.iter(SITEMAP_NS + "loc")]
    hrefs = {element.get("href") for element in tree.iter(XHTML_LINK)}
    listed = collections.Counter()
    failures = [failure for loc in locs if (failure := check_loc(loc, base, site, listed))]
    failures += [failure for href in sorted(hrefs) if href.startswith(base) and (failure := check_alternate(href, base))]
    failures += [f"listed although left out: {shown(page)}" for page in sorted(left_out & listed.keys())]
    pages = pages_of(site) - left_out
    too_long = {page for page in pages if len(url_of(base, page)) > MAX_URL}
    failures += [f"not listed: {shown(page)}" for page in sorted(pages - too_long - listed.keys())]
    for relative, count in sorted(listed.items()):
        if relative not in pages:
            failures.append(f"listed but not a page: {shown(relative)}")
        elif relative in too_long:
            failures.append(f"listed although its URL is too long: {shown(relative)}")
        elif count > 1:
            failures.append(f"listed {count} times: {shown(relative)}")

    for failure in failures:
        print("FAIL:", failure)
    if failures:
        print(f"{len(failures)} failures among {len(locs)} URLs and {len(pages)} pages")
        return 1
    print(f"fetched {len(locs)} URLs, all 200 and byte-equal; {len(too_long)} pages with too long URLs left out; "
          f"{len(hrefs)} xhtml:link hrefs answer 200; {len(left_out)} pages left out as asked")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
