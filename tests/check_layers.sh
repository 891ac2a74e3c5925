#!/bin/sh
# The source folders are layers, and no include reaches a layer above its
# own. Inside engine/ each folder may include only the folders below it (and
# itself): control < board < hash < eval < search < module. Outside it,
# platform/ includes nothing of ours but itself, tablebases/ nothing of the
# engine or the front end, and the front end never the engine module's
# folder (it reaches the module through control/engine_interface.h). Prints
# every include that breaks a rule and fails when there is one, or when a
# folder of engine/ has no rule yet.
# Usage: check_layers.sh [source tree]
cd "${1:-$(dirname "$0")/..}" || exit 2

# Engine folder: the engine folders its files may include.
allowed() {
  case $1 in
    control) echo "control" ;;
    board) echo "control board" ;;
    hash) echo "control board hash" ;;
    eval) echo "control board hash eval" ;;
    search) echo "control board hash eval search" ;;
    module) echo "control board hash eval search module" ;;
    *) return 1 ;;
  esac
}

# Folder: the include paths its files may not begin with.
forbidden() {
  case $1 in
    engine) echo "frontend/ tablebases/" ;;
    platform) echo "engine/ frontend/ tablebases/ bench/ tools/ helpers/" ;;
    tablebases) echo "engine/ frontend/" ;;
    frontend) echo "engine/module/" ;;
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

# One line per include of an engine folder: "file folder used".
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

# One line per quoted include of a file of the outer folders: "file path".
for top in engine platform tablebases frontend; do
  [ -d "$top" ] || continue
  paths=$(find "$top" -type f -exec grep -H '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' {} + |
    sed -n 's|^\([^:]*\):[^"]*"\([^"]*\)".*|\1 \2|p')
  while read -r file path; do
    [ -n "$file" ] || continue
    for prefix in $(forbidden "$top"); do
      case $path in
        "$prefix"*)
          echo "$file: includes $path"
          broken=$((broken + 1))
          ;;
      esac
    done
  done <<EOF
$paths
EOF
done

echo "$broken breaks of the layers"
[ "$broken" -eq 0 ]
