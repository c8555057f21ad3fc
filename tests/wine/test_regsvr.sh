#!/usr/bin/env bash
# Registration as an installer does it: Wine's regsvr32 registers and
# unregisters the module, Wine's reg.exe reads what it wrote.
set -u
. "$(dirname "$0")/winetest.sh"
ocx=$(w winepath -w "$1")
CLSID=$(idl_uuid coclass Brisel)
LIBID=$(idl_uuid library BriselLib)
IFACE="HKCR\\Interface\\$(idl_uuid dispinterface _DBrisel)"
CLS="HKCR\\CLSID\\$CLSID"
PROGID='HKCR\Brisel.BriselCtrl.1'
TLB="HKCR\\TypeLib\\$LIBID"
tmp=$(mktemp -d)
trap 'w regsvr32 /s /u "$ocx" >/dev/null; rm -rf "$tmp"' EXIT

w regsvr32 /s /u "$ocx" >/dev/null
check "module path from winepath" test -n "$ocx"   # or an empty path would match below
check "registered" w regsvr32 /s "$ocx"

# key|value name|expected default or named value
while IFS='|' read -r key name expected; do
  [ -z "$key" ] && continue
  eq "$key ${name:-(default)}" "$(reg_value "$key" "$name")" "$expected"
done <<ROWS
$CLS||Brisel Control
$CLS\\InprocServer32||$ocx
$CLS\\InprocServer32|ThreadingModel|Apartment
$CLS\\ProgID||Brisel.BriselCtrl.1
$CLS\\ToolboxBitmap32||$ocx, 1
$CLS\\MiscStatus||0
$CLS\\MiscStatus\\1||131473
$CLS\\TypeLib||$LIBID
$CLS\\Version||1.0
$CLS\\Node\\ProgramID||94 4B 61 6C 64 6F 72 2E
$CLS\\Node\\TestID||%1
$PROGID||Brisel Control
$PROGID\\CLSID||$CLSID
$TLB\\1.0||Brisel ActiveX Control module
ROWS
check "Control key" key_exists "$CLS\\Control"
check "Node key" key_exists "$CLS\\Node"

# Registering again gives the same keys and values and puts back values
# that were changed in between.
before=$(w reg query "$CLS" /s)
check "registration listed" test -n "$before"
w reg add "$CLS\\Node\\TestID" /ve /d changed /f >/dev/null
w reg add "$CLS\\Node\\ProgramID" /ve /d 00 /f >/dev/null
eq "TestID changed" "$(reg_value "$CLS\\Node\\TestID")" "changed"
check "registered again" w regsvr32 /s "$ocx"
eq "second registration" "$(w reg query "$CLS" /s)" "$before"

# Unregistering removes everything, also when Node is already gone, and
# twice in a row.
for case in "registered" "node already gone" "already unregistered"; do
  case $case in
    "node already gone") w regsvr32 /s "$ocx"; w reg delete "$CLS\\Node" /f >/dev/null
                         check "$case: Node deleted" key_absent "$CLS\\Node" ;;
  esac
  check "$case: unregistered" w regsvr32 /s /u "$ocx"
  for key in "$CLS\\Node" "$CLS" "$PROGID" "$TLB" "$IFACE"; do
    check "$case: $key gone" key_absent "$key"
  done
done

# Another copy of the module, in another folder, unregistered: this module's
# registration stays whole, and the copy reports success. Once the
# registered file is gone, any copy removes the stale entries.
mkdir -p "$tmp/other" "$tmp/stale"
cp "$1" "$tmp/other/Brisel.ocx" && cp "$1" "$tmp/stale/Brisel.ocx"
other=$(w winepath -w "$tmp/other/Brisel.ocx")
stale=$(w winepath -w "$tmp/stale/Brisel.ocx")
check "registered before another copy's unregistration" w regsvr32 /s "$ocx"
check "another copy unregistered" w regsvr32 /s /u "$other"
eq "another copy's unregistration: InprocServer32" "$(reg_value "$CLS\\InprocServer32")" "$ocx"
eq "another copy's unregistration: type library" "$(reg_value "$TLB\\1.0\\409\\$WINEARCH")" "$ocx"
for key in "$CLS\\Node" "$PROGID" "$IFACE"; do
  check "another copy's unregistration: $key kept" key_exists "$key"
done
check "registered from a folder that then goes" w regsvr32 /s "$stale"
rm -rf "$tmp/stale"
check "another copy unregistered, the registered file gone" w regsvr32 /s /u "$other"
for key in "$CLS" "$PROGID" "$TLB"; do check "stale registration: $key gone" key_absent "$key"; done

finish
