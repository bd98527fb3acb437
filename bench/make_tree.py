#!/usr/bin/env python3
"""Writes a synthetic static site of exactly N empty files for the benchmark.

The shape follows real sites: folders nest 3 to 6 levels deep, a folder
holds at most 50 entries and mostly 20 or more (about one in six, left
with the rest of a share, holds fewer), about 70 % of the files are pages
(.html) and the rest style sheets, images and scripts, one page per folder
is index.html, and about 5 % of the names are Japanese and 3 % contain
spaces. The same N and seed always give the same tree.

Usage: make_tree.py N DEST [--seed S]
DEST must not exist yet; the tree is built beside it and renamed into
place, so an interrupted run never leaves a tree that looks complete.
"""

import argparse
import os
import random
import shutil
import sys

MIN_ENTRIES, MAX_ENTRIES = 20, 50
MIN_DEPTH, MAX_DEPTH = 3, 6

PAGE_WORDS = ["page", "article", "item", "detail", "entry", "post", "topic"]
JAPANESE_WORDS = ["お知らせ", "会社概要", "製品情報", "採用情報", "よくある質問", "アクセス", "ニュース"]
SPACED_WORDS = ["about us", "press release", "my page", "site map", "product list"]
FOLDER_WORDS = ["section", "category", "archive", "docs", "blog", "shop", "area"]
JAPANESE_FOLDERS = ["製品", "サービス", "事例 紹介", "ブログ", "資料"]
SPACED_FOLDERS = ["new products", "old news", "case studies"]
ASSETS = [(".css", "style"), (".png", "image"), (".png", "photo"), (".js", "script")]


def base_word(rng, plain, japanese, spaced):
    roll = rng.random()
    if roll < 0.08:
        return rng.choice(japanese)
    if roll < 0.13:
        return rng.choice(spaced)
    return rng.choice(plain)


def file_name(rng, number, first):
    if first:
        return "index.html"
    if rng.random() < 0.70:
        return f"{base_word(rng, PAGE_WORDS, JAPANESE_WORDS, SPACED_WORDS)}-{number}.html"
    ext, word = rng.choice(ASSETS)
    return f"{word}-{number}{ext}"


def folder_name(rng, number):
    return f"{base_word(rng, FOLDER_WORDS, JAPANESE_FOLDERS, SPACED_FOLDERS)} {number}" \
        if rng.random() < 0.05 else f"{base_word(rng, FOLDER_WORDS, JAPANESE_FOLDERS, SPACED_FOLDERS)}-{number}"


def split(rng, total, parts):
    """total split into parts random shares that add up to it exactly."""
    weights = [rng.uniform(0.5, 1.5) for _ in range(parts)]
    scale = total / sum(weights)
    shares = [int(w * scale) for w in weights]
    for i in range(total - sum(shares)):
        shares[i % parts] += 1
    return shares


def plan(rng, budget, depth):
    """(files here, [budgets of the subfolders]) for a folder at this depth."""
    entries = rng.randint(MIN_ENTRIES, MAX_ENTRIES)
    if (depth >= MIN_DEPTH and budget <= entries) or depth >= MAX_DEPTH:
        return budget, []
    files_here = min(budget - 1, rng.randint(entries // 10, entries // 2))
    # Above the minimum depth each subfolder must hold whole levels of its
    # own; below it, a subfolder is about one full folder.
    typical = (MIN_ENTRIES + MAX_ENTRIES) // 2
    target = typical ** max(1, MIN_DEPTH - depth)
    subfolders = max(1, min(entries - files_here, (budget - files_here) // target))
    if depth + 1 == MAX_DEPTH:
        subfolders = max(subfolders, -(-(budget - files_here) // MAX_ENTRIES))
    # Fill the folder up to its entry count with files when it has room.
    files_here = max(files_here, min(entries - subfolders, budget - subfolders * MIN_ENTRIES))
    return files_here, split(rng, budget - files_here, subfolders)


def build(root, count, seed):
    rng = random.Random(seed)
    stack = [(root, count, 1)]
    written = 0
    while stack:
        path, budget, depth = stack.pop()
        os.mkdir(path)
        files_here, children = plan(rng, budget, depth)
        for n in range(files_here):
            fd = os.open(os.path.join(path, file_name(rng, n, n == 0)), os.O_CREAT | os.O_WRONLY, 0o644)
            os.close(fd)
        written += files_here
        for n, share in enumerate(children):
            if share > 0:
                stack.append((os.path.join(path, folder_name(rng, n)), share, depth + 1))
    return written


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("count", type=int)
    parser.add_argument("dest")
    parser.add_argument("--seed", type=int, default=20261208)
    args = parser.parse_args()
    if os.path.exists(args.dest):
        sys.exit(f"{args.dest} exists already")
    staging = args.dest + ".partial"
    shutil.rmtree(staging, ignore_errors=True)
    written = build(staging, args.count, args.seed)
    if written != args.count:
        sys.exit(f"wrote {written} files instead of {args.count}")
    os.rename(staging, args.dest)


if __name__ == "__main__":
    main()
