#!/usr/bin/env bash
# A VBScript client run by Wine's cscript creates the control by ProgID and
# calls AboutBox late-bound; closewin.exe finds the About box, checks it and
# closes it.
set -u
. "$(dirname "$0")/winetest.sh"
ocx=$(w winepath -w "$1")
closewin=$2
tmp=$(mktemp -d)
trap 'w regsvr32 /s /u "$ocx" >/dev/null; rm -rf "$tmp"' EXIT

check "registered" w regsvr32 /s "$ocx"
check_about_from_script "$closewin" "$tmp"
finish
