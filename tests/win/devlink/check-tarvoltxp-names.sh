#!/usr/bin/env bash
# check-tarvoltxp-names.sh exports LIBRARY NAME...: the library exports exactly
# these names, undecorated.
# check-tarvoltxp-names.sh imports PROGRAM NAME...: the program imports exactly
# these names from TarvoltXP.dll.
set -euo pipefail
mode=$1 file=$2
shift 2
expected=$(printf '%s\n' "$@" | sort)
dump=$(objdump -p "$file")
case $mode in
  exports)
    found=$(awk '/^\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[[:space:]]*\[/{print $NF} on && /^$/{on=0}' <<< "$dump" | sort) ;;
  imports)
    found=$(awk 'tolower($0) ~ /dll name: tarvoltxp\.dll/{on=1; next} on && /^[[:space:]]*$/{on=0} on && $NF !~ /Member-Name|Bound-To/ && NF >= 3 {print $NF}' <<< "$dump" | sort) ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
if [ "$found" != "$expected" ]; then
  echo "$file: expected $mode:"; echo "$expected"; echo "found:"; echo "$found"
  exit 1
fi
echo "$file: $mode are exactly: $(tr '\n' ' ' <<< "$found")"
