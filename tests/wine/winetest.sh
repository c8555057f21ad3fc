# Sourced by the shell tests: runs Windows programs in the project's private
# prefix (scripts/wine-run.sh) and counts checks like wtest.h does.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WINE_RUN="$here/../../scripts/wine-run.sh"
passed=0
failed=0

w() { "$WINE_RUN" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what" >&2; fi
}

eq() {  # eq DESCRIPTION ACTUAL EXPECTED
  if [ "$2" = "$3" ]; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAIL: $1: got '$2', expected '$3'" >&2; fi
}

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# The default value (no name) or the named value of a key, as reg.exe shows
# it; REG_VIEW=32 or 64 reads that registry view of a 64-bit prefix.
reg_value() {  # reg_value KEY [NAME]
  if [ -z "${2:-}" ]; then
    w reg query "$1" /ve ${REG_VIEW:+/reg:$REG_VIEW} | sed -n 's/^ *([^)]*) *REG_SZ    //p'
  else
    w reg query "$1" /v "$2" ${REG_VIEW:+/reg:$REG_VIEW} | sed -n "s/^ *$2 *REG_SZ    //p"
  fi
}

key_exists() { w reg query "$@" >/dev/null; }  # key_exists KEY [/reg:32|/reg:64]
