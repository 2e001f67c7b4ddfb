#!/usr/bin/env bash
# Checks that every arrow between the program's folders points down: each #include of a
# program folder names a header of its own folder or of one it may use, and each library links
# only libraries of such folders (so no two libraries link each other). The layers, lowest
# first: services, link, commands, panel, control, dialogs, app; sim uses link; resources holds
# the resource script and the dialogs' control ids. Prints every arrow that points the wrong way
# and exits 1 when there is one.
# Usage: tools/check-layers.sh [SOURCE_DIR]   (default: the tree this script lies in)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# The folders each folder may use, itself included.
declare -A uses=(
  [services]="services"
  [link]="link services"
  [commands]="commands link services"
  [panel]="panel services"
  [control]="control commands link panel services"
  [dialogs]="dialogs control commands link panel services resources"
  [app]="app dialogs control commands link panel services sim resources"
  [sim]="sim link"
)
may_use() { # folder used
  [[ " ${uses[$1]} " == *" $2 "* ]]
}

wrong=0
checked=0
for folder in "${!uses[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r line; do
    file=${line%%:*}
    rest=${line#*:}
    header=$(sed -E 's/^[^"]*"([^"]+)".*/\1/' <<<"$rest")
    used=${header%%/*}
    [ "$used" != "$header" ] || continue # a header beside the file, no folder named
    [ -n "${uses[$used]+x}" ] || [ "$used" = resources ] || continue # not a program folder
    checked=$((checked + 1))
    if ! may_use "$folder" "$used"; then
      wrong=$((wrong + 1))
      echo "upward include: $file includes $header ($folder may not use $used/)"
    fi
  done < <(grep -H '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
             "$folder"/*.h "$folder"/*.cpp "$folder"/*.c 2>/dev/null || true)
done

# Libraries: the folder of each hlr8_* library, then every library each one links.
declare -A home=()
for folder in "${!uses[@]}"; do
  [ -f "$folder/CMakeLists.txt" ] || continue
  for target in $(grep -oE 'add_(library|executable)\([A-Za-z0-9_]+' "$folder/CMakeLists.txt" |
                  sed 's/.*(//'); do
    home[$target]=$folder
  done
done
links=0
declare -A linked_pairs=()
for folder in "${!uses[@]}"; do
  [ -f "$folder/CMakeLists.txt" ] || continue
  # Each target_link_libraries(...) call joined into one line: the target, then what it links.
  while read -r target linked; do
    for library in $linked; do
      [ -n "${home[$library]+x}" ] || continue # a system library
      links=$((links + 1))
      linked_pairs[$target:$library]=1
      if ! may_use "$folder" "${home[$library]}"; then
        wrong=$((wrong + 1))
        echo "upward link: $target ($folder/) links $library (${home[$library]}/)"
      fi
    done
  done < <(tr '\n' ' ' <"$folder/CMakeLists.txt" |
           grep -oE 'target_link_libraries\([^)]*\)' |
           sed -E -e 's/^target_link_libraries\(([A-Za-z0-9_]+)/\1/' \
             -e 's/ (PUBLIC|PRIVATE|INTERFACE) / /g; s/\)$//')
done

for pair in "${!linked_pairs[@]}"; do
  first=${pair%%:*}
  second=${pair#*:}
  if [ -n "${linked_pairs[$second:$first]+x}" ] && [[ "$first" < "$second" ]]; then
    wrong=$((wrong + 1))
    echo "libraries that link each other: $first and $second"
  fi
done

echo "include layers: $checked includes and $links library links checked, $wrong pointing up"
[ "$wrong" -eq 0 ]
