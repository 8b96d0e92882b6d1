#!/usr/bin/env bash
# Every function Tarvolt.exe imports from the system's own libraries is
# exported under that exact name by the built library: the 32-bit build
# cannot run here, so a stdcall or C++ name that does not match is caught now.
# Usage: imports-resolve.sh PROGRAM LIBRARY...
set -u
program=$1
shift
. "$(dirname "$0")/../../../scripts/lib/pe.sh"
failures=0
for library in "$@"; do
  name=$(basename "$library")
  exports=$(pe_exports "$library")
  imports=$(pe_imports "$program" | awk -v dll="${name,,}" '$1 == dll { print $2 }')
  if [ -z "$imports" ]; then
    echo "imports-resolve: $program imports nothing from $name" >&2
    failures=$((failures + 1))
  fi
  for function in $imports; do
    grep -qx -- "$function" <<< "$exports" || {
      echo "imports-resolve: $name does not export $function" >&2
      failures=$((failures + 1))
    }
  done
done
[ "$failures" -eq 0 ]
