#!/usr/bin/env bash
# Times --lastmod-from git on a repository of many commits, beside the
# content rule on the same tree, and prints the rows of bench/results.md's
# table of dates from git.
#
#   bench/git_dates.sh [PAGES] [COMMITS]
#
# PAGES pages (default 10,000) added by the first of COMMITS commits
# (default 5,000); each later commit changes two pages, chosen at random,
# so that some pages were last changed by the first commit and the walk
# must go through the whole history. BUILD is the build folder with bin/
# (default: build); TREES where the repository is kept and reused (default:
# /tmp/bench-trees).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
pages=${1:-10000}
commits=${2:-5000}
export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null

site=$trees/git-$pages-$commits
if [ ! -d "$site" ]; then
  git init -q -b main "$site.partial"
  python3 - "$pages" "$commits" <<'PY' | git -C "$site.partial" fast-import --quiet
import random, sys
pages, commits = int(sys.argv[1]), int(sys.argv[2])
rng = random.Random(pages * 7 + commits)
out = sys.stdout
def data(text):
    raw = text.encode()
    out.write(f"data {len(raw)}\n"); out.write(text); out.write("\n")
def path(n):
    return f"site/s{n // 100:03d}/p{n:05d}.html"
start = 1577836800  # 2020-01-01
for c in range(commits):
    out.write("commit refs/heads/main\n")
    out.write(f"committer bench <bench@example.jp> {start + c * 3600} +0000\n")
    data(f"commit {c}")
    changed = range(pages) if c == 0 else rng.sample(range(pages), 2)
    for n in changed:
        out.write(f"M 100644 inline {path(n)}\n")
        data(f"<!DOCTYPE html><title>{n}</title><p>page {n}, version {c}</p>\n")
PY
  git -C "$site.partial" checkout -q -f main
  mv "$site.partial" "$site"
fi

run() { "$cli" "$site/site" --settings "$work/empty.ini" --base-url https://example.jp/ --ext html -q --lastmod "$@"; }
first() { rm -f "$work/$1.sqlite"; run --lastmod-from "$1" --ledger "$work/$1.sqlite"; }

run --lastmod-from file  # a warm cache
t_first_content=$(timed first content)
t_first_git=$(timed first git)
t_rerun_content=$(timed run --lastmod-from content --ledger "$work/content.sqlite")
t_rerun_git=$(timed run --lastmod-from git --ledger "$work/git.sqlite")
touched() {  # every page's time changed: git's index no longer vouches for any
  find "$site/site" -name '*.html' -exec touch {} +
  run --lastmod-from git --ledger "$work/git.sqlite"
}
t_touched=$(timed touched)
t_touch=$(timed find "$site/site" -name '*.html' -exec touch {} +)
git -C "$site" status -s >/dev/null  # the index refreshed again
oldest=$(grep -c '<lastmod>2020-01-01</lastmod>' "$site/site/nubika_sitemap.xml" || true)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", a / b }'; }
echo "| measured ($pages pages, $commits commits; $oldest pages last changed by the first commit) | seconds | ratio | bound |"
echo "|---|---|---|---|"
echo "| first \`--lastmod-from content\` run | $t_first_content | 1 | |"
echo "| first \`--lastmod-from git\` run | $t_first_git | $(ratio "$t_first_git" "$t_first_content") of content | 2 s |"
echo "| rerun, nothing changed, \`content\` | $t_rerun_content | 1 | |"
echo "| rerun, nothing changed, \`git\` | $t_rerun_git | $(ratio "$t_rerun_git" "$t_rerun_content") of content | 2 s |"
echo "| every page touched, then a \`git\` run (touch alone $t_touch s; libgit2 reads every page to know it unchanged) | $t_touched | $(ratio "$t_touched" "$t_rerun_git") of the rerun | |"
