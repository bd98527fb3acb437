#!/usr/bin/env python3
"""Prints a digest of the sitemap set in FOLDER as a reader sees it.

usage: set_digest.py FOLDER

Reads nubika_sitemap.xml; when it is an index, every part it names must
exist and parse (gzip parts decompressed). The digest covers the <url>
blocks of the set in order, as written, so two sets with the same pages
and options give the same digest whatever their part names. Prints
"ERROR: ..." and exits 1 when the set is not whole.
"""
import gzip
import hashlib
import os
import sys
import urllib.parse
import xml.etree.ElementTree as ElementTree

NS = "{http://www.sitemaps.org/schemas/sitemap/0.9}"


def blocks(text):
    start = text.find(b"\t<url>")
    end = text.rfind(b"\t</url>\r\n")
    return b"" if start < 0 else text[start:end + 9]


def main(folder):
    with open(os.path.join(folder, "nubika_sitemap.xml"), "rb") as top:
        text = top.read()
    root = ElementTree.fromstring(text)
    digest = hashlib.sha256()
    if root.tag == NS + "urlset":
        digest.update(blocks(text))
    else:
        for loc in root.iter(NS + "loc"):
            name = urllib.parse.unquote(loc.text.rsplit("/", 1)[1])
            with open(os.path.join(folder, name), "rb") as part_file:
                part = part_file.read()
            if name.endswith(".gz"):
                part = gzip.decompress(part)
            if ElementTree.fromstring(part).tag != NS + "urlset":
                raise ValueError(f"{name} is no urlset")
            digest.update(blocks(part))
    print(digest.hexdigest())


if __name__ == "__main__":
    try:
        main(sys.argv[1])
    except Exception as error:  # any flaw of the set is the finding
        print(f"ERROR: {error}")
        sys.exit(1)
