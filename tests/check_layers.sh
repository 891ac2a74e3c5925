#!/bin/sh
# The engine's folders are layers: each may include only the folders below
# it (and itself). Prints every include that breaks the rule and fails when
# there is one, or when a folder of engine/ has no rule yet.
# Usage: check_layers.sh [source tree]
cd "${1:-$(dirname "$0")/..}" || exit 2

# Folder: the engine folders its files may include. board/ may include eval/
# and hash/ for the board record's own evaluation block, pawn-file terms and
# hash keys.
allowed() {
  case $1 in
    control) echo "control" ;;
    board) echo "control board eval hash" ;;
    hash) echo "control board hash" ;;
    eval) echo "control board hash eval" ;;
    search) echo "control board hash eval search" ;;
    module) echo "control board hash eval search module" ;;
    *) return 1 ;;
  esac
}

broken=0
for dir in engine/*/; do
  folder=$(basename "$dir")
  if ! allowed "$folder" >/dev/null; then
    echo "engine/$folder/: a folder without a layer rule"
    broken=$((broken + 1))
  fi
done

# One line per include of an engine folder: "file folder".
includes=$(grep -H '^[[:space:]]*#[[:space:]]*include[[:space:]]*"engine/' engine/*/* |
  sed -n 's|^\(engine/\([^/]*\)/[^:]*\):.*"engine/\([^/"]*\)/.*|\1 \2 \3|p')
while read -r file folder used; do
  [ -n "$file" ] || continue
  rule=$(allowed "$folder") || continue
  case " $rule " in
    *" $used "*) ;;
    *)
      echo "$file: includes engine/$used/"
      broken=$((broken + 1))
      ;;
  esac
done <<EOF
$includes
EOF
echo "$broken breaks of the layers"
[ "$broken" -eq 0 ]
