# Sourced by the bench scripts that time one feature side by side: the
# build to time, where trees are kept, a work folder removed on exit with
# an empty settings file, and the timers.
#   BUILD  the build folder with bin/ (default: build)
#   TREES  where the trees are kept and reused (default: /tmp/bench-trees);
#          the work folder lies there too, on the same file system
bench=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$bench")
build=$(cd "$repo" && realpath "${BUILD:-build}")
trees=${TREES:-/tmp/bench-trees}
cli=$build/bin/nubika-sitemap-cli
mkdir -p "$trees"
work=$(mktemp -d -p "$trees")
trap 'rm -rf "$work"' EXIT
: >"$work/empty.ini"

# ms COMMAND...: the milliseconds it takes, its output dropped.
ms() {
  local start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  echo $(( ($(date +%s%N) - start) / 1000000 ))
}

# timed COMMAND...: runs it three times and prints the median wall time in
# seconds, its output dropped.
timed() {
  local times=()
  for _ in 1 2 3; do
    local start=$(date +%s%N)
    "$@" >/dev/null
    times+=($(( $(date +%s%N) - start )))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 2p | awk '{printf "%.3f", $1 / 1e9}'
}
