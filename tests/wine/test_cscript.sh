#!/usr/bin/env bash
# A VBScript client run by Wine's cscript creates the control by ProgID and
# calls AboutBox late-bound; closewin.exe finds the About box, checks it and
# closes it.
set -u
. "$(dirname "$0")/winetest.sh"
ocx=$(w winepath -w "$1")
closewin=$2
vbs=$(w winepath -w "$(dirname "$0")/about.vbs")
tmp=$(mktemp -d)
marker_unix=$tmp/closed
marker=$(w winepath -w "$marker_unix")
trap 'w regsvr32 /s /u "$ocx" >/dev/null; rm -rf "$tmp"' EXIT

check "registered" w regsvr32 /s "$ocx"
w "$closewin" "About Brisel Control" 30000 "$marker" >"$tmp/closer.out" &
closer=$!
out=$(w cscript //nologo "$vbs" "$marker")
wait "$closer"; closer_rc=$?
echo "$out"; cat "$tmp/closer.out"

eq "created" "$(echo "$out" | sed -n 's/^created: //p')" "True"
eq "About box closed before AboutBox returned" "$(echo "$out" | sed -n 's/^closed before return: //p')" "True"
eq "AboutBox result" "$(echo "$out" | sed -n 's/^result: //p')" "Empty"
eq "closer" "$closer_rc" "0"
check "About text" grep -qx "text: Brisel Control, Version 1.0" "$tmp/closer.out"
check "OK button" grep -qx "text: OK" "$tmp/closer.out"
finish
