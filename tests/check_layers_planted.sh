#!/bin/sh
# The layer check must catch what it is there for: on a copy of the tree it
# passes, and with one forbidden include planted for each rule it fails and
# names the file the include was planted in.
# Usage: check_layers_planted.sh <source tree>
tree=${1:?usage: check_layers_planted.sh <source tree>}
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/tree/tests" &&
  cp -R "$tree/engine" "$tree/platform" "$tree/tablebases" "$tree/frontend" "$work/tree/" &&
  cp "$tree/tests/check_layers.sh" "$work/tree/tests/" || exit 2

check() { sh "$work/tree/tests/check_layers.sh" "$work/tree" >"$work/out" 2>&1; }

if ! check; then
  echo "the copy fails before anything is planted:"
  cat "$work/out"
  exit 1
fi

# One planted include a line: the file it goes into, the path it includes.
failed=0
while read -r file include; do
  [ -n "$file" ] || continue
  cp "$work/tree/$file" "$work/saved"
  printf '#include "%s"\n' "$include" >>"$work/tree/$file"
  if check; then
    echo "FAIL: $file including $include passes the layer check"
    failed=1
  elif ! grep -q "^$file: includes" "$work/out"; then
    echo "FAIL: $file including $include fails the check without naming it:"
    cat "$work/out"
    failed=1
  else
    echo "ok: $file including $include is refused"
  fi
  cp "$work/saved" "$work/tree/$file"
done <<EOF
engine/board/board.h engine/eval/eval_weights.h
engine/board/setup.cpp engine/hash/hash.h
engine/hash/hash_table.cpp engine/eval/evaluate.h
engine/control/control.cpp frontend/console.h
platform/clock.cpp engine/control/move.h
platform/event.h tablebases/probe.h
platform/memory.cpp frontend/console.h
tablebases/probe.cpp engine/board/board.h
tablebases/registration.h frontend/options.h
frontend/engine_link.cpp engine/module/hooks.h
EOF
exit $failed
