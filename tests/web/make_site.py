#!/usr/bin/env python3
"""Builds a site of awkward names for the web test.

usage: make_site.py SITE [--regular-only] [--search LEFT_OUT]

Every regular file holds its own path relative to SITE, so a server's
answer can be matched to the file by its bytes. --regular-only leaves out
the two entries named like pages that are not regular files: a dangling
link and a FIFO. --search adds pages for the search engine options, a
robots.txt and a language cluster, and writes the paths of the pages those
options leave out to LEFT_OUT, one a line.
"""
import os
import sys

PATH_MAX = 4096
LEVEL = b"/level-%03d"  # a deep folder's part of the path

# Names that a URL must encode, or may carry as they are, one page each.
AWKWARD_NAMES = [
    "with space.html", " leading space.html", "hash#tag.html", "what?.html",
    "100%.html", "a&b.html", "one+one.html", "it's.html", 'say "hi".html',
    "semi;colon.html", "key=value.html", "at@home.html", "bang!.html",
    "colon:name.html", "back\\slash.html", "tab\there.html", "~tilde.html",
    "(round)[square]{curly}.html", "日本語のページ.html", ".hidden.html",
    "all #?%&+'\";=@! 全部.html",
]
NOT_UTF8_NAMES = [b"caf\xe9.html", b"\xff\xfe.htm", b"mixed-\xe9\xe3\x81\x82.html"]

# Pages in folders whose names need encoding too; index pages in several.
FOLDER_PAGES = [
    "index.html", "about.html", "sub dir/index.html", "sub dir/a&b.htm",
    "news & events/index.html", "news & events/spring sale.html",
    "日本語/index.html", "日本語/ページ.htm", "?#%/index.html", "?#%/q&a.html",
    ".../dots.html", "dir.html/inside.html", "only-htm/index.htm",
    "a/b/c/index.html", "a/b/index.html", "a/index.html",
]
NOT_UTF8_FOLDER_PAGES = [b"\xe9t\xe9/index.html", b"\xe9t\xe9/\xff.html"]

# Files that are not pages: other extensions, or none.
NOT_PAGES = [
    "style.css", "notes.txt", "page.html.bak", "page.xhtml", "html", "htm",
    "shout.HTML", "image.gif", "sub dir/readme.txt", "empty-ext.", "index.php",
]


def write_file(site, relative):
    path = os.path.join(site, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(relative + b"\n")


def name_of_length(length, prefix, extension=b""):
    """A name of exactly length bytes, mostly three-byte characters."""
    fill = length - len(prefix) - len(extension)
    return prefix + "長".encode() * (fill // 3) + b"x" * (fill % 3) + extension


def make_deep_chain(site):
    """Folders nested until the deepest page's absolute path is PATH_MAX - 1
    bytes long, the most the system takes; a page every 100 levels."""
    folder = b"deep"
    os.mkdir(os.path.join(site, folder))
    depth = 0
    shortest_bottom = len(b"/bottom.html")
    while len(site) + len(b"/") + len(folder) + len(LEVEL % 999) + shortest_bottom < PATH_MAX:
        depth += 1
        folder += LEVEL % depth
        os.mkdir(os.path.join(site, folder))
        if depth % 100 == 0:
            write_file(site, folder + b"/page-%d.html" % depth)
    padding = PATH_MAX - 1 - (len(site) + len(b"/") + len(folder) + shortest_bottom)
    write_file(site, folder + b"/bottom" + b"_" * padding + b".html")
    return depth


def make_links_and_special(site, regular_only):
    os.symlink(b"about.html", os.path.join(site, b"alias.html"))  # to a page: a page
    os.symlink(b"sub dir", os.path.join(site, b"folderlink.html"))  # to a folder: none
    os.symlink("日本語".encode(), os.path.join(site, b"linked"))  # never entered
    if not regular_only:
        os.symlink(b"no-such-page.html", os.path.join(site, b"x.html"))
        os.mkfifo(os.path.join(site, b"fifo.html"))


# Pages for --canonical, --robots-txt, --skip-noindex and --hreflang: a
# cluster of three languages and x-default, whose members name themselves
# as canonical, and the pages those options leave out.
CLUSTER = ('<link rel="alternate" hreflang="en" href="/lang/en.html">'
           '<link rel="alternate" hreflang="ja" href="ja.html">'
           '<link rel="alternate" hreflang="de" href="../lang/./de.html">'
           '<link rel="alternate" hreflang="x-default" href="/lang/">')
SEARCH_PAGES = {
    "lang/index.html": CLUSTER + '<link rel="canonical" href="/lang/">',
    "lang/en.html": CLUSTER + '<link rel="canonical" href="en.html">',
    "lang/ja.html": CLUSTER + '<base href="/lang/"><link rel="canonical" href="ja.html">',
    "lang/de.html": CLUSTER + '<link rel="canonical" href="/lang/%64e.html">',
}
SEARCH_LEFT_OUT = {
    "lang/copy.html": '<link rel="canonical" href="/lang/en.html">',
    "private/secret.html": "",
    "lang/draft.html": '<meta name="robots" content="noindex">',
}
ROBOTS_TXT = b"User-agent: *\r\nDisallow: /private/\r\n"


def make_search_pages(site, left_out):
    for relative, head in {**SEARCH_PAGES, **SEARCH_LEFT_OUT}.items():
        path = os.path.join(site, relative.encode())
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as out:
            out.write(f"<!DOCTYPE html><html><head><title>{relative}</title>{head}</head><body>{relative}</body></html>\n")
    with open(os.path.join(site, b"robots.txt"), "wb") as out:
        out.write(ROBOTS_TXT)
    with open(left_out, "w", encoding="utf-8") as out:
        out.writelines(relative + "\n" for relative in SEARCH_LEFT_OUT)


def main(argv):
    left_out = None
    if "--search" in argv[2:]:
        at = argv.index("--search")
        if at + 1 >= len(argv):
            sys.exit(__doc__)
        left_out = argv.pop(at + 1)
        argv.pop(at)
    if len(argv) not in (2, 3) or argv[2:] not in ([], ["--regular-only"]):
        sys.exit(__doc__)
    site = os.path.abspath(os.fsencode(argv[1]))
    os.makedirs(site)
    relatives = [name.encode() for name in AWKWARD_NAMES + FOLDER_PAGES + NOT_PAGES]
    relatives += NOT_UTF8_NAMES + NOT_UTF8_FOLDER_PAGES
    relatives.append(name_of_length(255, b"long-", b".html"))
    relatives.append(name_of_length(255, b"folder-") + b"/index.html")
    for relative in relatives:
        write_file(site, relative)
    os.mkdir(os.path.join(site, b"empty"))
    make_links_and_special(site, "--regular-only" in argv)
    if left_out:
        make_search_pages(site, left_out)
    depth = make_deep_chain(site)
    print(f"site of {len(relatives)} files and {depth} nested folders in {argv[1]}")


if __name__ == "__main__":
    main(sys.argv)
