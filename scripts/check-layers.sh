#!/usr/bin/env bash
# Includes point down the layers only: a file of src/ may include its own
# folder and the folders of lower layers, never one of its own layer or above.
# Every source file of src/ is also named in src/CMakeLists.txt, whose lists
# are explicit. A rules folder (browser/rules) holds what is decided without
# widgets: it includes no toolkit header and nothing of its layer outside
# itself. No folder has an include circle, a .cpp and its .h counting as one
# unit: each folder's files can be read from the bottom up.
#   platform < base < catalogue < tree, ui, imaging < reader < browser, descriptions, viewer_launch, viewer < app < main.cpp
set -u
cd "$(dirname "$0")/../src"

rank() {
  case $1 in
    platform) echo 0 ;;
    base) echo 1 ;;
    catalogue) echo 2 ;;
    tree | ui | imaging) echo 3 ;;
    reader) echo 4 ;;
    browser | descriptions | viewer_launch | viewer) echo 5 ;;
    app) echo 6 ;;
    .) echo 7 ;;
    *) echo -1 ;;
  esac
}

fail=0
while IFS= read -r file; do
  folder=$(dirname "$file")
  folder=${folder#./}
  # A layer's folder may hold one folder per system (platform/windows).
  folder=${folder%%/*}
  own=$(rank "$folder")
  if [ "$own" -lt 0 ]; then
    echo "$file: folder '$folder' has no layer"
    fail=1
    continue
  fi
  case $file in
    */rules/*)
      rules=${file#./}
      rules=${rules%/*}
      if grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(gtk|gdk|gdk-pixbuf|pango|atk|cairo)/' "$file"; then
        echo "$file includes a toolkit header: $rules is built without the toolkit"
        fail=1
      fi
      while IFS= read -r included; do
        case $included in
          "$folder"/*) [ "${included%/*}" = "$rules" ] || {
            echo "$file includes \"$included\": $rules may include only itself and lower layers"
            fail=1
          } ;;
        esac
      done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
      ;;
  esac
  while IFS= read -r included; do
    target=${included%%/*}
    [ "$target" = "$included" ] && target=.
    [ "$target" = "$folder" ] && continue
    theirs=$(rank "$target")
    if [ "$theirs" -lt 0 ] || [ "$theirs" -ge "$own" ]; then
      echo "$file includes \"$included\": $folder may include only lower layers"
      fail=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find . -name '*.cpp' -o -name '*.h' | sort)
while IFS= read -r file; do
  grep -qE "(^|[[:space:](])${file#./}([[:space:])]|\$)" CMakeLists.txt || {
    echo "$file is in no library of src/CMakeLists.txt"
    fail=1
  }
done < <(find . -name '*.cpp' | sort)
# Include circles within a folder: an edge from a unit to every unit of the
# same folder it includes; tsort names the units of any loop.
while IFS= read -r dir; do
  dir=${dir#./}
  edges=$(for file in "$dir"/*.cpp "$dir"/*.h; do
    [ -f "$file" ] || continue
    unit=$(basename "${file%.*}")
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file" | while IFS= read -r included; do
      [ "$(dirname "$included")" = "$dir" ] || continue
      other=$(basename "${included%.*}")
      [ "$other" = "$unit" ] || echo "$unit $other"
    done
  done)
  [ -n "$edges" ] || continue
  loop=$(tsort <<< "$edges" 2>&1 >/dev/null | sed -n 's/^tsort: \([^:-][^:]*\)$/\1/p' | sort -u | tr '\n' ' ')
  if [ -n "$loop" ]; then
    echo "$dir has an include circle through: $loop"
    fail=1
  fi
done < <(find . -mindepth 1 -type d | sort)
[ $fail = 0 ] && echo "includes point down the layers, no folder has a circle"
exit $fail
