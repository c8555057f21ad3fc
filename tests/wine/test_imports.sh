#!/usr/bin/env bash
# What the delivered binaries import: Windows system DLLs only, so that
# Brisel.ocx and Brisel Settings run from their folder on a bare Windows
# with nothing beside them (no MinGW runtime: libstdc++, libgcc,
# libwinpthread). objdump -p lists the import table's DLL names.
# Usage: test_imports.sh OBJDUMP FILE...
set -u
. "$(dirname "$0")/winetest.sh"
objdump=$1; shift
# Compared without regard to case, as Windows looks them up.
system_dlls=(advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll
             oleaut32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll version.dll)
system() { [[ " ${system_dlls[*]} " == *" $1 "* ]]; }
for file in "$@"; do
  name=$(basename "$file")
  imports=$("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  # An objdump that lists nothing would pass every file.
  check "$name imports kernel32.dll" grep -qx kernel32.dll <<<"$imports"
  for dll in $imports; do
    check "$name imports $dll, a Windows system DLL" system "$dll"
  done
done
finish
