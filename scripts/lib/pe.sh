# Sourced by the import checks: the names in a PE file's import and export
# tables, from objdump -p. Binutils 2.40 (Debian 12) lists an import as
# "vma hint name", 2.44 (Debian 13) as "vma ordinal hint name" with "<none>"
# for the ordinal, and 2.44 gives each export an "+base[n] hint" before it.
#   pe_dlls FILE      the DLLs it imports from, in lower case, by name or ordinal
#   pe_imports FILE   one "dll name" line per function imported by name, dll in lower case
#   pe_exports FILE   one line per exported name
# Both fail when objdump cannot read the file.

pe_dlls() {
  local dump
  dump=$(objdump -p "$1" 2>/dev/null) || return 1
  sed -n 's/^[[:space:]]*DLL Name: //p' <<< "$dump" | tr '[:upper:]' '[:lower:]'
}

pe_imports() {
  local dump
  dump=$(objdump -p "$1" 2>/dev/null) || return 1
  awk '
    /^[[:space:]]*DLL Name:/ { dll = tolower($3); next }
    /^[[:space:]]*$/ { dll = ""; next }
    dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 && $NF !~ /^(<none>|[0-9]+)$/ { print dll, $NF }
  ' <<< "$dump"
}

pe_exports() {
  local dump
  dump=$(objdump -p "$1" 2>/dev/null) || return 1
  awk '
    /^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
    on && /^[[:space:]]*$/ { on = 0 }
    on && /^[[:space:]]*\[/ { print $NF }
  ' <<< "$dump"
}
