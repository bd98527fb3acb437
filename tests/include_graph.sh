#!/usr/bin/env bash
# The floors of the program, lowest first. A file may include from its own
# floor and the floors below, never from above; the core (all but cli/ and
# app/) includes nothing of Qt; the two programs include nothing of each
# other. Prints every include that breaks the rule.
set -u
cd "${SOURCE_DIR:?the source folder}"
floors=(text io scan sitemap settings job cli app)
rank() { local i; for i in "${!floors[@]}"; do [ "${floors[$i]}" = "$1" ] && echo "$i" && return; done; echo -1; }
broken=0
for floor in "${floors[@]}"; do
  mine=$(rank "$floor")
  while IFS=: read -r file line include; do
    target=${include#*\"}; target=${target%%/*}
    theirs=$(rank "$target")
    if [ "$theirs" -gt "$mine" ] || { [ "$floor" = app ] && [ "$target" = cli ]; }; then
      echo "$file:$line: $floor/ includes $target/"; broken=1
    fi
  done < <(grep -nE '^#include "[a-z]+/' "$floor"/*.h "$floor"/*.cpp 2>/dev/null | sed -E 's/^([^:]+):([0-9]+):/\1:\2:/')
  if [ "$mine" -lt "$(rank cli)" ]; then
    if grep -nE '^#include <Q' "$floor"/*.h "$floor"/*.cpp 2>/dev/null; then
      echo "$floor/ is core and includes Qt"; broken=1
    fi
  fi
done
[ "$broken" = 0 ] && echo "every include keeps to its floor: ${floors[*]}"
exit "$broken"
