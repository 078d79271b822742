#!/usr/bin/env bash
# Fails when a source folder includes a header from a folder above it. Higher folders use lower
# ones, never the other way round; folders on one level do not use each other.
set -euo pipefail
cd "$(dirname "$0")/.."

# One level per line, highest first.
levels=(
  "app"
  "record"
  "edges"
  "run log"
  "processes backup discovery certs"
  "fileops xml"
  "platform res"
)

declare -A level_of
for i in "${!levels[@]}"; do
  for folder in ${levels[$i]}; do
    level_of[$folder]=$i
  done
done

status=0
for folder in "${!level_of[@]}"; do
  own=${level_of[$folder]}
  while IFS= read -r -d '' file; do
    while IFS=: read -r line used; do
      [ -n "$used" ] || continue
      other=${level_of[$used]-}
      [ -n "$other" ] || continue
      if [ "$used" != "$folder" ] && [ "$other" -le "$own" ]; then
        echo "$file:$line: $folder (level $own) includes $used/ (level $other)"
        status=1
      fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]*/' "$file" |
             sed 's|^\([0-9]*\):[^"]*"\([a-z_]*\)/.*|\1:\2|' || true)
  done < <(git ls-files -z -- "$folder/*.cpp" "$folder/*.h" "$folder/*.rc")
done
[ $status -eq 0 ] && echo "layers: every include goes downwards"
exit $status
