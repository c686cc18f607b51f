#!/usr/bin/env bash
# Counts the file-scope mutable variables of src/ as universal-ctags sees them:
# every variable definition outside a function (ctags' kind "v") whose line
# does not make it const or constexpr. Prints them with the count by folder,
# and fails when the count passes the limit (the first argument, if given), so
# hidden state cannot grow back unnoticed.
#   scripts/count-file-scope-state.sh [limit]
set -u
cd "$(dirname "$0")/../src"
command -v ctags > /dev/null || { echo "ctags (universal-ctags) is missing"; exit 2; }
list=$(ctags -R -x --languages=C++ --langmap=C++:+.h --kinds-C++=v . |
  awk '{ line = $0; sub(/^[^ ]+ +[^ ]+ +[0-9]+ +[^ ]+ /, "", line)
         if (line !~ /(^|[^A-Za-z_])(const|constexpr)([^A-Za-z_]|$)/) printf "%s:%s %s\n", $4, $3, $1 }' |
  sed 's|^\./||' | sort)
count=$(grep -c . <<< "$list")
echo "$list"
echo "by folder:"
cut -d/ -f1 <<< "$list" | sort | uniq -c | sort -rn
echo "file-scope mutable variables in src/: $count"
if [ $# -ge 1 ] && [ "$count" -gt "$1" ]; then
  echo "more than $1: put the new one into its owner, or group it with its kin"
  exit 1
fi
