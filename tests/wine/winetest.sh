# Sourced by the shell tests: runs Windows programs in the project's private
# prefix (scripts/wine-run.sh) and counts checks like wtest.h does.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WINE_RUN="$here/../../scripts/wine-run.sh"
passed=0
failed=0
skipped=0

w() { "$WINE_RUN" "${WINEARCH:-win32}" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what" >&2; fi
}

eq() {  # eq DESCRIPTION ACTUAL EXPECTED
  if [ "$2" = "$3" ]; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAIL: $1: got '$2', expected '$3'" >&2; fi
}

# A check that cannot run here, with the reason: counted apart.
skip() {  # skip DESCRIPTION REASON
  skipped=$((skipped + 1)); echo "SKIP: $1 ($2)"
}

finish() {
  # collected by scripts/test.sh
  if [ "$skipped" -gt 0 ]; then echo "checks: $passed passed, $failed failed, $skipped skipped"
  else echo "checks: $passed passed, $failed failed"; fi
  [ "$failed" -eq 0 ]
}

# The default value (no name) or the named value of a key, as reg.exe shows
# it; REG_VIEW=32 or 64 reads it as a process of that bitness in a 64-bit
# prefix does: keys both views share (a ProgID) read the same in both.
# The control's identifiers, written out: every host that knows the control
# knows it by these, so a change in the IDL must fail the tests.
# idl_uuid library BriselLib | dispinterface _DBrisel | coclass Brisel
idl_uuid() {
  case "$1 $2" in
    "library BriselLib") echo "{B42E6C39-22E8-49EF-8995-52B26D5A1030}" ;;
    "dispinterface _DBrisel") echo "{5CF820CA-7C80-4EEF-A37F-2EB289208B6F}" ;;
    "dispinterface _DBriselEvents") echo "{EF1F5666-CEE2-4962-8004-D3D8994B9CC5}" ;;
    "coclass Brisel") echo "{E11D7042-0CC6-49E7-96B8-CAC4B5BACEB1}" ;;
    *) echo "idl_uuid: no identifier $1 $2" >&2; return 1 ;;
  esac
}

reg_value() {  # reg_value KEY [NAME]
  local reg=reg view=${REG_VIEW:+/reg:$REG_VIEW}
  # 64-bit reg.exe's /reg:32 looks for shared keys under Wow6432Node.
  if [ "${REG_VIEW:-}" = 32 ] && [ "${WINEARCH:-}" = win64 ]; then reg='C:\windows\syswow64\reg.exe'; view=; fi
  if [ -z "${2:-}" ]; then
    w "$reg" query "$1" /ve $view | sed -n 's/^ *([^)]*) *REG_SZ    //p'
  else
    w "$reg" query "$1" /v "$2" $view | sed -n "s/^ *$2 *REG_SZ    //p"
  fi
}

key_exists() { w reg query "$@" >/dev/null; }  # key_exists KEY [/reg:32|/reg:64]

# The control created by its ProgID from VBScript (about.vbs: late-bound
# AboutBox, modal); closewin.exe finds the About box, checks and closes it.
# CSCRIPT: another bitness's script host (syswow64's in a 64-bit prefix).
check_about_from_script() {  # check_about_from_script CLOSEWIN TMPDIR [CSCRIPT]
  local closewin=$1 tmp=$2 cscript=${3:-cscript} marker out closer closer_rc
  marker=$(w winepath -w "$tmp/closed")
  w "$closewin" "About Brisel Control" 30000 "$marker" >"$tmp/closer.out" &
  closer=$!
  out=$(w "$cscript" //nologo "$(w winepath -w "$here/about.vbs")" "$marker")
  wait "$closer"; closer_rc=$?
  echo "$out"; cat "$tmp/closer.out"
  eq "created" "$(echo "$out" | sed -n 's/^created: //p')" "True"
  eq "About box closed before AboutBox returned" "$(echo "$out" | sed -n 's/^closed before return: //p')" "True"
  eq "AboutBox result" "$(echo "$out" | sed -n 's/^result: //p')" "Empty"
  eq "closer" "$closer_rc" "0"
  check "About text" grep -qx "text: Brisel Control, Version 1.0" "$tmp/closer.out"
  check "OK button" grep -qx "text: OK" "$tmp/closer.out"
}

# True only when reg.exe ran and found no such key (it exits 1), and a key
# that is always there can be read: a Wine that fails to start, or a reg.exe
# that fails some other way, is no proof of absence. A second argument
# /reg:32 or /reg:64 looks in that registry view.
key_absent() {  # key_absent KEY [/reg:32|/reg:64]
  w reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentVersion >/dev/null 2>&1 || return 1
  w reg query "$@" >/dev/null 2>&1
  [ $? -eq 1 ]
}
