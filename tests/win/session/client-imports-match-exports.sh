#!/usr/bin/env bash
# The Windows 2000/XP build cannot run here: this shows instead that every name
# a client imports from Lqnmod.dll is one the library exports, and that the
# client reaches all four exports.
# Usage: client-imports-match-exports.sh CLIENT.exe Lqnmod.dll
set -euo pipefail
client=$1 library=$2

. "$(dirname "$0")/../../../scripts/lib/pe.sh"

imports=$(pe_imports "$client" | awk '$1 == "lqnmod.dll" { print $2 }' | sort)
exports=$(pe_exports "$library" | sort)

echo "imports:" $imports
echo "exports:" $exports
[ "$(wc -w <<< "$exports")" -eq 4 ] && [ "$imports" == "$exports" ]
