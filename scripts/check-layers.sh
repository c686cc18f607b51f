#!/usr/bin/env bash
# Includes point down the layers only: a file of src/ may include its own
# folder and the folders of lower layers, never one of its own layer or above.
# Every source file of src/ is also named in src/CMakeLists.txt, whose lists
# are explicit.
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
[ $fail = 0 ] && echo "includes point down the layers"
exit $fail
