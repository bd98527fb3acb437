# Sourced by the bench scripts. timed COMMAND...: runs it three times and
# prints the median wall time in seconds, its output thrown away.
timed() {
  local times=()
  for _ in 1 2 3; do
    local start=$(date +%s%N)
    "$@" >/dev/null
    times+=($(( $(date +%s%N) - start )))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 2p | awk '{printf "%.3f", $1 / 1e9}'
}
