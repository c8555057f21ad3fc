#!/usr/bin/env bash
# The installer package end to end, in one fresh prefix of its own that all
# steps share: packages of this build and of a later version made by
# scripts/make-msi.sh and their signatures; a silent install whose registry
# is identical to self-registration of the same files at the same paths; the
# installed control created by ProgID from VBScript and opened by the
# network tool; Brisel Settings beside the 32-bit module with its Start-menu
# shortcut; the major upgrade; repair of deleted files; uninstall leaving
# the registry and the files as they were.
# The x86 package runs in a 32-bit prefix; the x64 package, which holds both
# modules, in a 64-bit one, where both registry views and the keys they
# share are compared with the two modules' own registration, and the x86
# package is installed and removed once more. 32-bit programs run natively
# or emulated, as scripts/test.sh arranges.
# Usage: test_msi.sh PACKAGE VERSION NEXT_VERSION CLOSEWIN BRHOST X86_BUILD X64_BUILD
set -u
. "$(dirname "$0")/winetest.sh"
package=$1 version=$2 next_version=$3 closewin=$4 brhost=$5
declare -A build=([x86]=$6 [x64]=$7)
root=$(cd "$here/../.." && pwd)
work=$PWD/msi-test
rm -rf "$work" && mkdir -p "$work"
unset BRISEL_SIGN_PFX BRISEL_SIGN_PASSWORD   # the throwaway certificate, whose CA the checks know
. "$root/scripts/wine-env.sh"                  # brisel_init_prefix; stops this prefix's server at exit
drive=$work/prefix/drive_c
declare -A folder win view
if [ "$package" = x86 ]; then
  brisel_select_arch win32
  modules=(x86)
  export BRISEL_HARVEST_PREFIX_X86=$work/prefix
  folder[x86]="$drive/Program Files/Brisel" win[x86]='C:\Program Files\Brisel\Brisel.ocx' view[x86]=
else
  brisel_select_arch win64
  modules=(x64 x86)
  export BRISEL_HARVEST_PREFIX_X64=$work/prefix
  folder[x64]="$drive/Program Files/Brisel" win[x64]='C:\Program Files\Brisel\Brisel.ocx' view[x64]=64
  folder[x86]="$drive/Program Files (x86)/Brisel" win[x86]='C:\Program Files (x86)\Brisel\Brisel.ocx' view[x86]=32
fi
# Brisel Settings goes beside the 32-bit module, and the shortcut to it into
# the Start menu's Programs folder. The package is per-machine (ALLUSERS=1),
# so Windows Installer takes ProgramMenuFolder as the all-users one; Wine's
# (8.0) sets ProgramMenuFolder from the user's own Programs folder whatever
# ALLUSERS is, and the shortcut lands there.
program="${folder[x86]}/BriselSettings.exe"
if [ "$package" = x86 ]; then
  program_win='C:\Program Files\Brisel\BriselSettings.exe' program_dir='C:\Program Files\Brisel\'
else
  program_win='C:\Program Files (x86)\Brisel\BriselSettings.exe' program_dir='C:\Program Files (x86)\Brisel\'
fi
export BRISEL_WINEPREFIX=$work/prefix WINEPREFIX=$work/prefix
dist=$work/dist
msi=$dist/Brisel-$version-$package.msi
next_msi=$dist/Brisel-$next_version-$package.msi
signed() { echo "$dist/work-$package-$1/$2/Brisel.ocx"; }  # signed VERSION ARCH
signed_program() { echo "$dist/work-${2:-$package}-$1/x86/BriselSettings.exe"; }  # signed_program VERSION [PACKAGE]
# The 32-bit module's tools in a 64-bit prefix are syswow64's.
tool() {  # tool ARCH NAME
  if [ "$package" = x64 ] && [ "$1" = x86 ]; then echo "C:\\windows\\syswow64\\$2.exe"; else echo "$2"; fi
}
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
# DisplayVersion of each product named Brisel that Windows Installer lists
# (a 32-bit package's entry is in the 32-bit view, where there is one).
installed_versions() {
  registry "$work/uninstall.reg" 'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
  if [ "$package" = x64 ]; then
    registry "$work/uninstall32.reg" 'HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall' >/dev/null 2>&1  # absent until a 32-bit product is there
    cat "$work/uninstall32.reg" >>"$work/uninstall.reg"
  fi
  awk '/^\[/ { if (name == "Brisel") print ver; name = ver = "" }
       /^"DisplayName"=/ { name = $0; sub(/^"DisplayName"="/, "", name); sub(/"$/, "", name) }
       /^"DisplayVersion"=/ { ver = $0; sub(/^"DisplayVersion"="/, "", ver); sub(/"$/, "", ver) }
       END { if (name == "Brisel") print ver }' "$work/uninstall.reg" | paste -sd ' '
}

brisel_init_prefix >/dev/null 2>&1
shortcut="$drive/users/$(w cmd /c 'echo %USERNAME%')/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Brisel Settings.lnk"

# The shortcut's target, working folder and name, and its icon: the
# program's icon file (res/brisel.ico), of which Windows Installer keeps a
# copy for the product (the Icon table's).
shortcut_to() {  # shortcut_to VERSION PACKAGE: the shortcut of that package there
  local lnk icon
  check "shortcut there ($2 $1)" test -f "$shortcut"
  [ -f "$shortcut" ] || return
  lnk=$(python3 "$here/lnkfields.py" "$shortcut")
  eq "shortcut's target ($2 $1)" "$(sed -n 's/^target=//p' <<<"$lnk")" "$program_win"
  eq "shortcut's working folder ($2 $1)" "$(sed -n 's/^workdir=//p' <<<"$lnk")" "$program_dir"
  eq "shortcut's description ($2 $1)" "$(sed -n 's/^name=//p' <<<"$lnk")" "Brisel Settings"
  eq "shortcut's icon index ($2 $1)" "$(sed -n 's/^iconindex=//p' <<<"$lnk")" "0"
  icon=$(sed -n 's/^icon=//p' <<<"$lnk")
  check "shortcut's icon is the product's copy of the program's icon ($2 $1): $icon" \
      grep -qiE '^C:\\windows\\Installer\\\{[0-9A-F-]{36}\}\\BriselSettings\.ico$' <<<"$icon"
  check "shortcut's icon file is the program's icon ($2 $1)" cmp -s "$(w winepath -u "$icon")" "$root/res/brisel.ico"
}

# --- Packages of this build and of the next version, signed ---------------------
make() {  # make VERSION PACKAGE [next]
  local dir=${3:+/tests/wine/next}
  bash "$root/scripts/make-msi.sh" "$1" "$2" "$dist" "${build[x86]}$dir/Brisel.ocx" "${build[x64]}$dir/Brisel.ocx" \
      >"$work/make-msi-$2-$1.log" 2>&1 || cat "$work/make-msi-$2-$1.log" >&2
}
make "$version" "$package"
make "$next_version" "$package" next
crt=$dist/test-signing.crt
for f in "$msi" "$next_msi"; do check "signature of ${f#"$dist"/}" verifies "$f" "$crt"; done
for arch in "${modules[@]}"; do check "signature of the $arch module" verifies "$(signed "$version" "$arch")" "$crt"; done
check "signature of the program" verifies "$(signed_program "$version")" "$crt"
# Brisel Settings in the package: a shortcut naming the program's file (an
# advertised one, whose target is the feature, Wine's Windows Installer
# would resolve to the same path, so only the table tells), the program's
# own component with the file as key path, writing no registry value.
table() { msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r'; }  # table NAME: its rows, tab-separated
row() { local IFS=$'\t'; echo "$*"; }
eq "shortcut row" "$(table Shortcut)" "$(row BriselSettingsShortcut ProgramMenuFolder 'Brisel Settings.lnk' \
    BriselSettings '[#BriselSettingsExe]' '' 'Brisel Settings' '' BriselSettings.ico 0 '' BriselFolder '' '' '' '')"
eq "program's component" "$(table Component | grep "^BriselSettings$(printf '\t')")" \
    "$(row BriselSettings '{5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C03}' BriselFolder 0 '' BriselSettingsExe)"
eq "program's registry rows" "$(table Registry | awk -F '\t' '$6 == "BriselSettings"')" ""
eq "per-machine package" "$(table Property | grep "^ALLUSERS$(printf '\t')")" "$(row ALLUSERS 1)"
# The signature check does refuse: another certificate, and a changed byte.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Someone else" -keyout /dev/null \
    -out "$work/other.crt" 2>/dev/null
check "another certificate refused" fails verifies "$msi" "$work/other.crt"
cp "$(signed "$version" "${modules[0]}")" "$work/changed.ocx"
printf 'X' | dd of="$work/changed.ocx" bs=1 seek=4096 conv=notrunc 2>/dev/null
check "changed module refused" fails verifies "$work/changed.ocx" "$crt"

# --- Silent install --------------------------------------------------------------
# cscript registers its own type library when it first runs, the script
# host of each bitness its own platform's: before the snapshot, so that the
# comparisons see only what the package does.
: >"$work/nothing.vbs"
for arch in "${modules[@]}"; do w "$(tool "$arch" cscript)" //nologo "$(wpath "$work/nothing.vbs")"; done
snapshot "$work/before"
check "installed" msiexec_qn /i "$(wpath "$msi")"
CLS="HKCR\\CLSID\\$(idl_uuid coclass Brisel)"
LIB="HKCR\\TypeLib\\$(idl_uuid library BriselLib)\\1.0"
installed_as() {  # installed_as VERSION: each module the package holds, signed, at its place and in its view
  local arch
  for arch in "${modules[@]}"; do
    check "the signed $arch module $1 installed" cmp -s "${folder[$arch]}/Brisel.ocx" "$(signed "$1" "$arch")"
  done
  check "the signed program $1 installed" cmp -s "$program" "$(signed_program "$1")"
  shortcut_to "$1" "$package"
}
installed_as "$version"
check "installed program's signature" verifies "$program" "$crt"
for arch in "${modules[@]}"; do
  check "installed $arch module's signature" verifies "${folder[$arch]}/Brisel.ocx" "$crt"
  export REG_VIEW=${view[$arch]}
  eq "$arch InprocServer32" "$(reg_value "$CLS\\InprocServer32")" "${win[$arch]}"
  eq "$arch Node\\ProgramID" "$(reg_value "$CLS\\Node\\ProgramID")" "94 4B 61 6C 64 6F 72 2E"
  eq "$arch Node\\TestID" "$(reg_value "$CLS\\Node\\TestID")" "%1"
  platform=win64; [ "$arch" = x86 ] && platform=win32
  eq "$arch type library" "$(reg_value "$LIB\\409\\$platform")" "${win[$arch]}"
done
# Both views share the type library key; its folder is the first registered
# module's (the 64-bit one's in the x64 package), as the system's type
# library registration keeps a folder that is there.
eq "type library folder" "$(reg_value "$LIB\\HELPDIR")" "${win[${modules[0]}]%\\Brisel.ocx}"
unset REG_VIEW
registry "$work/package.classes" HKEY_CLASSES_ROOT

# --- The same as self-registration of the same files at the same paths ------------
# Both views whole, and the keys they share: unregistered, nothing of the
# package is left; registered again, the 64-bit module first and the 32-bit
# one last (its values hold where both write one), the same as installed.
for arch in "${modules[@]}"; do check "$arch self-unregistered" w "$(tool "$arch" regsvr32)" /s /u "${win[$arch]}"; done
registry "$work/unregistered.classes" HKEY_CLASSES_ROOT
check "self-unregistration removes all the package wrote" same "$work/before.classes" "$work/unregistered.classes"
for arch in "${modules[@]}"; do check "$arch self-registered" w "$(tool "$arch" regsvr32)" /s "${win[$arch]}"; done
registry "$work/self.classes" HKEY_CLASSES_ROOT
check "package's registry identical to self-registration" same "$work/package.classes" "$work/self.classes"

# --- The installed control: by ProgID from VBScript, and in the network tool --------
walk() {  # walk BRHOST NAME
  mkdir -p "$work/$2"
  w "$1" --demo-walk "$(wpath "$work/$2")" --tick 100 --node "$(wpath "$work/$2.txt")" >"$work/$2.out" 2>&1
  eq "$2: network tool's walk-through" "$?" "0"
  check "$2: network tool showed the sheet" test -s "$work/$2/tab2.bmp"
}
check_about_from_script "$closewin" "$work"
walk "$brhost" walk
if [ "$package" = x64 ]; then
  check_about_from_script "${build[x86]}/tests/wine/closewin.exe" "$work" "$(tool x86 cscript)"
  walk "${build[x86]}/brhost.exe" walk32
fi

# --- Major upgrade -------------------------------------------------------------------
check "upgraded" msiexec_qn /i "$(wpath "$next_msi")"
installed_as "$next_version"
eq "products installed" "$(installed_versions)" "$next_version"
registry "$work/upgraded.classes" HKEY_CLASSES_ROOT
check "registration after the upgrade" same "$work/package.classes" "$work/upgraded.classes"
check "older package refused over the newer" fails msiexec_qn /i "$(wpath "$msi")"
eq "products installed after the refusal" "$(installed_versions)" "$next_version"

# --- Repair restores deleted files and the shortcut --------------------------------------
for arch in "${modules[@]}"; do rm -f "${folder[$arch]}/Brisel.ocx"; done
rm -f "$program" "$shortcut"
check "repaired" msiexec_qn /i "$(wpath "$next_msi")" REINSTALL=ALL REINSTALLMODE=omus
installed_as "$next_version"

# --- Uninstall leaves nothing --------------------------------------------------------------
check "uninstalled" msiexec_qn /x "$(wpath "$next_msi")"
for arch in "${modules[@]}"; do check "$arch folder removed" test ! -e "${folder[$arch]}"; done
check "program removed" test ! -e "$program"
check "shortcut removed" test ! -e "$shortcut"
eq "products installed after uninstall" "$(installed_versions)" ""
# The registry, the classes and the files as before the first install.
as_before() {  # as_before WHEN
  snapshot "$work/after-$1"
  for part in reg classes files; do
    check "$part as before ($1)" same "$work/before.$part" "$work/after-$1.$part"
  done
}
as_before uninstall

# --- The x86 package on 64-bit Windows: Program Files (x86) and the 32-bit view -----------
if [ "$package" = x64 ]; then
  x86_msi=$dist/Brisel-$version-x86.msi
  make "$version" x86
  check "x86 package signature" verifies "$x86_msi" "$crt"
  check "x86 package installed" msiexec_qn /i "$(wpath "$x86_msi")"
  check "x86 module in Program Files (x86)" cmp -s "${folder[x86]}/Brisel.ocx" "$dist/work-x86-$version/x86/Brisel.ocx"
  check "x86 package's program in Program Files (x86)" cmp -s "$program" "$(signed_program "$version" x86)"
  shortcut_to "$version" x86
  check "no 64-bit module" test ! -e "${folder[x64]}"
  eq "x86 package's InprocServer32" "$(REG_VIEW=32 reg_value "$CLS\\InprocServer32")" "${win[x86]}"
  check "nothing in the 64-bit view" key_absent "$CLS" /reg:64
  check "x86 package uninstalled" msiexec_qn /x "$(wpath "$x86_msi")"
  as_before "x86 package uninstalled"
  # Both packages hold the 32-bit module: the x64 package replaces the x86
  # one, and the x86 package does not go over the x64 one.
  msiexec_qn /i "$(wpath "$x86_msi")"
  check "x64 package over the x86 one" msiexec_qn /i "$(wpath "$msi")"
  eq "products after the x64 package replaced the x86 one" "$(installed_versions)" "$version"
  for arch in x64 x86; do check "$arch module there" cmp -s "${folder[$arch]}/Brisel.ocx" "$(signed "$version" "$arch")"; done
  check "x64 package's program there" cmp -s "$program" "$(signed_program "$version")"
  shortcut_to "$version" x64
  check "x86 package refused over the x64 one" fails msiexec_qn /i "$(wpath "$x86_msi")"
  eq "products after the refusal" "$(installed_versions)" "$version"
  check "x64 package uninstalled" msiexec_qn /x "$(wpath "$msi")"
  as_before "x64 package over the x86 one uninstalled"
fi
finish
