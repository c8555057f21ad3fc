#!/usr/bin/env bash
# The 32-bit and the 64-bit module registered side by side in a 64-bit
# prefix, each in its own registry view: registering or unregistering one
# never changes what the other registered, and a client of each bitness
# creates the control from its own module.
# Usage: test_sidebyside.sh OCX64 OCX32 CLIENT64 CLIENT32
set -u
. "$(dirname "$0")/winetest.sh"
ocx64=$(w winepath -w "$1")
ocx32=$(w winepath -w "$2")
client64=$3
client32=$4
CLSID=$(idl_uuid coclass Brisel)
LIB=$(idl_uuid library BriselLib)
IFACE=$(idl_uuid dispinterface _DBrisel)
PROGID='Brisel.BriselCtrl.1'

for f in "$2" "$4"; do
  [ -f "$f" ] || { echo "FAIL: $f missing: build the 32-bit side first (build/win32)"; exit 1; }
done
# The 32-bit rows need 32-bit programs (natively or emulated, as
# scripts/test.sh arranges): one that does not run is a failure.
eq "32-bit client runs" "$(w "$client32" --probe 2>/dev/null)" "bits: 32"

regsvr() {  # regsvr 32|64 [/u] OCX
  local bits=$1; shift
  if [ "$bits" = 32 ]; then w 'C:\windows\syswow64\regsvr32.exe' /s "$@"; else w regsvr32 /s "$@"; fi
}
register32() { regsvr 32 "$@" "$ocx32"; }  # register32 [/u]

# Everything one module registers, as a process of its bitness sees it:
# the class, interface and type library keys of its own view, and the keys
# that both views share (the ProgID, the type library's).
cmd_of() { if [ "$1" = 32 ]; then echo 'C:\windows\syswow64\cmd.exe'; else echo cmd; fi; }
view() {  # view 32|64
  w "$(cmd_of "$1")" /c "reg query HKCR\\CLSID\\$CLSID /s & reg query HKCR\\$PROGID /s & \
reg query HKCR\\Interface\\$IFACE /s & reg query HKCR\\TypeLib\\$LIB\\1.0\\409\\win$1 /s" 2>/dev/null
}

# The module file a client of that bitness loaded, lower case ("" if none).
loaded() {  # loaded 32|64
  local client=$client64
  [ "$1" = 32 ] && client=$client32
  w "$client" | sed -n 's/^module: //p' | tr '[:upper:]' '[:lower:]'
}
lower() { echo "$1" | tr '[:upper:]' '[:lower:]'; }

# The network tool of that bitness, beside its module, finds the plug-in
# through the Node key of its own view and walks through its Properties;
# prints the tool's exit code (0 done, 3 no plug-in registered).
tool() {  # tool 32|64
  local exe=$toolDir64/brhost.exe dir
  [ "$1" = 32 ] && exe=$toolDir32/brhost.exe
  dir=$(w winepath -w "$tmp")
  w "$exe" --node "$dir\\node$1.txt" --tick 250 --demo-walk "$dir" >/dev/null 2>&1
  echo $?
}
toolDir64=$(dirname "$1")
toolDir32=$(dirname "$2")
tmp=$(mktemp -d)
trap 'regsvr 64 /u "$ocx64" >/dev/null; register32 /u >/dev/null; rm -rf "$tmp"' EXIT

# From nothing: the 32-bit module first, then the 64-bit one.
regsvr 64 /u "$ocx64" >/dev/null; register32 /u >/dev/null
check "32-bit module registered" register32
before32=$(view 32)
check "64-bit module registered" regsvr 64 "$ocx64"
eq "registering the 64-bit module: 32-bit view" "$(view 32)" "$before32"
for v in 64 32; do
  expected=$ocx64; [ "$v" = 32 ] && expected=$ocx32
  eq "view $v: InprocServer32" "$(REG_VIEW=$v reg_value "HKCR\\CLSID\\$CLSID\\InprocServer32")" "$expected"
  eq "view $v: ProgID's class" "$(REG_VIEW=$v reg_value "HKCR\\$PROGID\\CLSID")" "$CLSID"
  check "view $v: Node key" key_exists "HKCR\\CLSID\\$CLSID\\Node" "/reg:$v"
  eq "type library for win$v" "$(REG_VIEW=$v reg_value "HKCR\\TypeLib\\$LIB\\1.0\\409\\win$v")" "$expected"
done
before64=$(view 64)

# Each bitness's client creates the control from its own module, and each
# bitness's network tool opens its own plug-in.
eq "64-bit client's module" "$(loaded 64)" "$(lower "$ocx64")"
eq "64-bit network tool" "$(tool 64)" 0
eq "32-bit client's module" "$(loaded 32)" "$(lower "$ocx32")"
eq "32-bit network tool" "$(tool 32)" 0
# The 32-bit module registered again and unregistered: the 64-bit view
# stays as it was (the shared ProgID too, as the 64-bit module still
# registers the class), the 64-bit client still finds its module.
check "32-bit module registered again" register32
eq "registering the 32-bit module again: 64-bit view" "$(view 64)" "$before64"
check "32-bit module unregistered" register32 /u
eq "unregistering the 32-bit module: 64-bit view" "$(view 64)" "$before64"
eq "64-bit client's module with the 32-bit one gone" "$(loaded 64)" "$(lower "$ocx64")"
check "32-bit view: class gone" key_absent "HKCR\\CLSID\\$CLSID" /reg:32
check "32-bit module registered once more" register32
before32=$(view 32)

# The 64-bit module unregistered: the 32-bit view keeps everything, its own
# type library platform and the shared ProgID included; the 64-bit view has
# no class, interface or platform left, and the 64-bit client does not fall
# back to the 32-bit module.
check "64-bit module unregistered" regsvr 64 /u "$ocx64"
eq "unregistering the 64-bit module: 32-bit view" "$(view 32)" "$before32"
for key in "HKCR\\CLSID\\$CLSID" "HKCR\\Interface\\$IFACE" "HKCR\\TypeLib\\$LIB\\1.0\\409\\win64"; do
  check "view 64: $key gone" key_absent "$key" /reg:64
done
eq "view 64: the shared ProgID stays for the 32-bit module" "$(REG_VIEW=64 reg_value "HKCR\\$PROGID\\CLSID")" "$CLSID"
eq "64-bit client without its module" "$(loaded 64)" ""
eq "64-bit network tool without its module" "$(tool 64)" 3
eq "32-bit client with the 64-bit module gone" "$(loaded 32)" "$(lower "$ocx32")"

# Both gone: nothing of the class or the library is left in either view.
check "32-bit module unregistered at the end" register32 /u
check "ProgID gone with the last module" key_absent "HKCR\\$PROGID"
check "type library key gone" key_absent "HKCR\\TypeLib\\$LIB"
finish
