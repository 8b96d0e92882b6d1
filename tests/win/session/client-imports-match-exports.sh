#!/usr/bin/env bash
# The Windows 2000/XP build cannot run here: this shows instead that every name
# a client imports from Lqnmod.dll is one the library exports, and that the
# client reaches all four exports.
# Usage: client-imports-match-exports.sh CLIENT.exe Lqnmod.dll
set -euo pipefail
client=$1 library=$2

imports=$(objdump -p "$client" | awk '
  /DLL Name:/ { on = tolower($3) == "lqnmod.dll"; next }
  on && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print $3 }' | sort)
exports=$(objdump -p "$library" | awk '
  /^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
  on && /^$/ { on = 0 }
  on { print $NF }' | sort)

echo "imports:" $imports
echo "exports:" $exports
[ "$(wc -w <<< "$exports")" -eq 4 ] && [ "$imports" == "$exports" ]
