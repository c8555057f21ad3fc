#!/usr/bin/env bash
# The installer package end to end, in one fresh prefix of its own that all
# steps share: packages of this build and of a later version made by
# scripts/make-msi.sh and their signatures; a silent install whose registry
# is identical to self-registration of the same file at the same path; the
# installed control created by ProgID from VBScript and opened by the
# network tool; the major upgrade; repair of a deleted module; uninstall
# leaving the registry and the files as they were.
# Usage: test_msi.sh ARCH MODULE VERSION NEXT_MODULE NEXT_VERSION CLOSEWIN BRHOST
set -u
. "$(dirname "$0")/winetest.sh"
arch=$1 module=$2 version=$3 next_module=$4 next_version=$5 closewin=$6 brhost=$7
root=$(cd "$here/../.." && pwd)
work=$PWD/msi-test
rm -rf "$work" && mkdir -p "$work"
unset BRISEL_SIGN_PFX BRISEL_SIGN_PASSWORD   # the throwaway certificate, whose CA the checks know
. "$root/scripts/wine-env.sh"                  # brisel_init_prefix; stops this prefix's server at exit
case $arch in x86) brisel_select_arch win32 ;; x64) brisel_select_arch win64 ;; esac
export BRISEL_WINEPREFIX=$work/prefix BRISEL_HARVEST_PREFIX=$work/prefix WINEPREFIX=$work/prefix
drive=$WINEPREFIX/drive_c
folder="$drive/Program Files/Brisel"
installed="$folder/Brisel.ocx"
installed_win='C:\Program Files\Brisel\Brisel.ocx'
dist=$work/dist
msi=$dist/Brisel-$version-$arch.msi
next_msi=$dist/Brisel-$next_version-$arch.msi
wpath() { w winepath -w "$1"; }
fails() { ! "$@"; }

# The registry as regedit exports it (all of it, or one root key), without
# what Wine and Windows Installer keep for themselves and change on their
# own: hardware and display state, Wine's temporary parameters, Windows
# Installer's bookkeeping under Classes\Installer (classes view) and its
# empty bookkeeping keys, which stay once made.
registry() {  # registry OUT [ROOTKEY]
  w regedit /E "$(wpath "$work/export.reg")" ${2:+"$2"}
  iconv -f UTF-16 -t UTF-8 "$work/export.reg" | tr -d '\r' | awk '
    function flush() {
      if (key != "" && !skip && !(empty && key ~ /\\Installer(\\|\])/)) printf "%s", block
      block = ""
    }
    /^\[/ { flush(); key = $0; empty = 1; block = $0 "\n"
            skip = key ~ /^\[HKEY_LOCAL_MACHINE\\(System|Hardware)(\\|\])/ ||
                   key ~ /\\Wine\\Temporary System Parameters/ ||
                   key ~ /^\[HKEY_CLASSES_ROOT\\Installer(\\|\])/
            next }
    { block = block $0 "\n"; if ($0 != "") empty = 0 }
    END { flush() }' >"$1"
  rm -f "$work/export.reg"
}
# Every file and folder on drive C: (Windows Installer's cache folder stays
# once made, empty).
files() { (cd "$drive" && find . ! -path ./windows/Installer | sort) >"$1"; }
snapshot() { registry "$1.reg"; registry "$1.classes" HKEY_CLASSES_ROOT; files "$1.files"; }
same() { diff -u "$1" "$2" >&2; }
verifies() { osslsigncode verify -CAfile "$2" -in "$1" >/dev/null 2>&1; }
# Runs msiexec silently and prints how long it took (figures for
# docs/PERFORMANCE.md; nothing is asserted on them).
msiexec_qn() {
  local t0 rc
  t0=$(date +%s%N)
  w msiexec "$@" /qn; rc=$?
  echo "time: msiexec $1 ${2##*\\}${3:+ $3}: $(( ($(date +%s%N) - t0) / 1000000 )) ms, exit $rc"
  return "$rc"
}
# DisplayVersion of each product named Brisel that Windows Installer lists.
installed_versions() {
  registry "$work/uninstall.reg" 'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
  awk '/^\[/ { if (name == "Brisel") print ver; name = ver = "" }
       /^"DisplayName"=/ { name = $0; sub(/^"DisplayName"="/, "", name); sub(/"$/, "", name) }
       /^"DisplayVersion"=/ { ver = $0; sub(/^"DisplayVersion"="/, "", ver); sub(/"$/, "", ver) }
       END { if (name == "Brisel") print ver }' "$work/uninstall.reg" | paste -sd ' '
}

brisel_init_prefix >/dev/null 2>&1

# --- Packages of this build and of the next version, signed ---------------------
for pair in "$module $version" "$next_module $next_version"; do
  set -- $pair
  if ! bash "$root/scripts/make-msi.sh" "$1" "$2" "$arch" "$dist" >"$work/make-msi-$2.log" 2>&1; then
    cat "$work/make-msi-$2.log" >&2
  fi
done
crt=$dist/test-signing.crt
for f in "$msi" "$next_msi" "$dist/work-$arch-$version/Brisel.ocx"; do
  check "signature of ${f#"$dist"/}" verifies "$f" "$crt"
done
# The signature check does refuse: another certificate, and a changed byte.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Someone else" -keyout /dev/null \
    -out "$work/other.crt" 2>/dev/null
check "another certificate refused" fails verifies "$msi" "$work/other.crt"
cp "$dist/work-$arch-$version/Brisel.ocx" "$work/changed.ocx"
printf 'X' | dd of="$work/changed.ocx" bs=1 seek=4096 conv=notrunc 2>/dev/null
check "changed module refused" fails verifies "$work/changed.ocx" "$crt"

# --- Silent install --------------------------------------------------------------
# cscript registers its own type library when it first runs: before the
# snapshot, so that the comparisons see only what the package does.
: >"$work/nothing.vbs"
w cscript //nologo "$(wpath "$work/nothing.vbs")"
snapshot "$work/before"
check "installed" msiexec_qn /i "$(wpath "$msi")"
check "the signed module installed" cmp -s "$installed" "$dist/work-$arch-$version/Brisel.ocx"
check "installed module's signature" verifies "$installed" "$crt"
CLS='HKCR\CLSID\{E11D7042-0CC6-49E7-96B8-CAC4B5BACEB1}'
eq "InprocServer32" "$(reg_value "$CLS\\InprocServer32")" "$installed_win"
eq "Node\\ProgramID" "$(reg_value "$CLS\\Node\\ProgramID")" "94 4B 61 6C 64 6F 72 2E"
eq "Node\\TestID" "$(reg_value "$CLS\\Node\\TestID")" "%1"
registry "$work/package.classes" HKEY_CLASSES_ROOT

# --- The same as self-registration of the same file at the same path ------------
check "self-unregistered" w regsvr32 /s /u "$installed_win"
registry "$work/unregistered.classes" HKEY_CLASSES_ROOT
check "self-unregistration removes all the package wrote" same "$work/before.classes" "$work/unregistered.classes"
check "self-registered" w regsvr32 /s "$installed_win"
registry "$work/self.classes" HKEY_CLASSES_ROOT
check "package's registry identical to self-registration" same "$work/package.classes" "$work/self.classes"

# --- The installed control: by ProgID from VBScript, and in the network tool --------
check_about_from_script "$closewin" "$work"
mkdir -p "$work/walk"
w "$brhost" --demo-walk "$(wpath "$work/walk")" --tick 100 --node "$(wpath "$work/node.txt")" >"$work/brhost.out" 2>&1
eq "network tool's walk-through" "$?" "0"
check "network tool showed the sheet" test -s "$work/walk/tab2.bmp"

# --- Major upgrade -------------------------------------------------------------------
check "upgraded" msiexec_qn /i "$(wpath "$next_msi")"
check "the later module installed" cmp -s "$installed" "$dist/work-$arch-$next_version/Brisel.ocx"
eq "products installed" "$(installed_versions)" "$next_version"
registry "$work/upgraded.classes" HKEY_CLASSES_ROOT
check "registration after the upgrade" same "$work/package.classes" "$work/upgraded.classes"
check "older package refused over the newer" fails msiexec_qn /i "$(wpath "$msi")"
eq "products installed after the refusal" "$(installed_versions)" "$next_version"

# --- Repair restores a deleted module ----------------------------------------------------
rm -f "$installed"
check "repaired" msiexec_qn /i "$(wpath "$next_msi")" REINSTALL=ALL REINSTALLMODE=omus
check "module restored" cmp -s "$installed" "$dist/work-$arch-$next_version/Brisel.ocx"

# --- Uninstall leaves nothing --------------------------------------------------------------
check "uninstalled" msiexec_qn /x "$(wpath "$next_msi")"
check "folder removed" test ! -e "$folder"
eq "products installed after uninstall" "$(installed_versions)" ""
snapshot "$work/after"
check "classes as before" same "$work/before.classes" "$work/after.classes"
check "registry as before" same "$work/before.reg" "$work/after.reg"
check "files as before" same "$work/before.files" "$work/after.files"
finish
