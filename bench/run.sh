#!/usr/bin/env bash
# Times nubika-sitemap-cli against `find -type f` and two npm sitemap
# generators on synthetic sites of 10,000 to 1,000,000 files and writes
# bench/results.md, and its plot bench/speed.svg. Called by `make bench`.
#
#   bench/run.sh [--skip-1m] [--runs N] [--sizes N,N,...] [--pages N,N,...]
#
# BASELINE_CLI  another build's nubika-sitemap-cli, timed beside this one
# LEDGER_PAGES, LEDGER_SIZE_PAGES  the sizes bench/ledger.sh is run with
# GIT_PAGES, GIT_COMMITS  the sizes bench/git_dates.sh is run with
# SEARCH_PAGES  the pages bench/search.sh is run with
#
# BUILD    the build folder with bin/ (default: build)
# TREES    where the generated sites are kept and reused (default:
#          /tmp/bench-trees; the million-file site takes about 160 MB and
#          1.1 million inodes, and a few minutes to write)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=$(cd "$repo" && realpath "${BUILD:-build}")
trees=${TREES:-/tmp/bench-trees}
sizes=10000,100000,200000,1000000
pages=10000,100000
runs=5

while [ $# -gt 0 ]; do
  case $1 in
    --skip-1m) sizes=10000,100000,200000 ;;
    --pages) pages=$2; shift ;;
    --runs) runs=$2; shift ;;
    --sizes) sizes=$2; shift ;;
    *) echo "usage: $0 [--skip-1m] [--runs N] [--sizes N,N,...] [--pages N,N,...]" >&2; exit 2 ;;
  esac
  shift
done

if [ ! -x "$build/bin/nubika-sitemap-cli" ]; then
  echo "no $build/bin/nubika-sitemap-cli: build first (make build) or set BUILD" >&2
  exit 1
fi

# The timing, memory and plotting tools come from Debian.
missing=()
[ -x /usr/bin/time ] || missing+=(time)
command -v hyperfine >/dev/null || missing+=(hyperfine)
command -v gnuplot >/dev/null || missing+=(gnuplot-nox)
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq && apt-get install -y -qq "${missing[@]}"
fi

# The npm peers, pinned, in the ignored bench/node_modules.
if [ ! -x "$here/node_modules/.bin/sscli" ] || [ ! -x "$here/node_modules/.bin/sitemap-static" ]; then
  npm install --prefix "$here" --no-save --no-package-lock --no-audit --no-fund --loglevel=error \
    static-sitemap-cli@2.2.8 sitemap-static@0.4.4
fi

mkdir -p "$trees" "$here/out"
for size in ${sizes//,/ }; do
  if [ ! -d "$trees/site-$size" ]; then
    echo "writing a site of $size files to $trees/site-$size"
    python3 "$here/make_tree.py" "$size" "$trees/site-$size"
  fi
done
for count in ${pages//,/ }; do
  if [ ! -d "$trees/pages-$count" ]; then
    echo "writing $count pages of about 5 KiB to $trees/pages-$count"
    python3 "$here/make_pages.py" "$count" "$trees/pages-$count"
  fi
done

# An empty settings file, so that no Setting.ini beside the program
# changes what the command line asks for.
: > "$here/out/empty-settings.ini"

cd "$here"
python3 measure.py --build "$build" --trees "$trees" --node-modules "$here/node_modules" \
  --settings "$here/out/empty-settings.ini" --out "$here/out" --results "$here/results.md" \
  --sizes "$sizes" --pages "$pages" --runs "$runs" \
  $(case $sizes in *1000000*) ;; *) echo --window-size 200000 --options-size 200000 ;; esac)
python3 plot.py results.md speed.svg
# Dates from git: 10,000 pages, 5,000 commits; the table goes to
# out/git_dates.md for the section of results.md.
bash "$here/git_dates.sh" "${GIT_PAGES:-10000}" "${GIT_COMMITS:-5000}" | tee "$here/out/git_dates.md"
# The ledger's rows (--lastmod-from content), side by side in one run; the
# table goes to out/ledger.md for the section of results.md.
bash "$here/ledger.sh" "${LEDGER_PAGES:-100000}" "${LEDGER_SIZE_PAGES:-1000000}" | tee "$here/out/ledger.md"
# --canonical, --hreflang and --robots-txt beside --skip-noindex alone; the
# table goes to out/search.md for the section of results.md.
bash "$here/search.sh" "${SEARCH_PAGES:-100000}" | tee "$here/out/search.md"
# results.md again, now with those tables in their sections.
python3 report.py out/results.json results.md
