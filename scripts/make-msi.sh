#!/usr/bin/env bash
# Makes the signed installer package of built Brisel.ocx modules:
#   scripts/make-msi.sh VERSION PACKAGE OUTDIR X86_MODULE X64_MODULE
# PACKAGE x86 holds the 32-bit module; x64 holds both (the 32-bit one for
# 32-bit hosts on a 64-bit machine). The x86 package does not need
# X64_MODULE to exist. Both packages hold Brisel Settings: the 32-bit
# program found beside X86_MODULE, as $(dirname X86_MODULE)/BriselSettings.exe
# (a build folder has both), installed beside the 32-bit module with a
# shortcut in the all-users Start menu. Registering the 32-bit module needs
# 32-bit programs, natively or under the emulator that scripts/setup.sh
# registers.
# 1. signs a copy of each module and of the program (Authenticode,
#    osslsigncode), kept as OUTDIR/work-PACKAGE-VERSION/ARCH/Brisel.ocx and
#    .../x86/BriselSettings.exe; the WiX source goes beside;
# 2. registers the copies the package holds at their install paths in a
#    scratch Wine prefix (see harvest below) and exports HKEY_CLASSES_ROOT
#    before and after;
# 3. packaging/wxsgen.py turns the differences into the package's registry
#    tables, wixl builds OUTDIR/Brisel-VERSION-PACKAGE.msi, which is signed too.
# The certificate: BRISEL_SIGN_PFX (PKCS#12) with BRISEL_SIGN_PASSWORD, or a
# throwaway test certificate made once as OUTDIR/test-signing.pfx, with its
# certificate as OUTDIR/test-signing.crt (PEM) for osslsigncode verify -CAfile.
# The scratch prefix: BRISEL_HARVEST_PREFIX_X86 / _X64 when set (a caller's
# prefix of that package's bitness, left running), else
# build/package/prefix-PACKAGE.
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 VERSION PACKAGE OUTDIR X86_MODULE X64_MODULE" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
version=$1 package=$2 out=$3
declare -A module=([x86]=$4 [x64]=$5)
program=$(dirname "$4")/BriselSettings.exe
case $package in
  x86|x64) ;;
  *) echo "make-msi: unknown package '$package' (x86 or x64)" >&2; exit 2 ;;
esac
# The modules this package holds.
needed=(x86); [ "$package" = x64 ] && needed=(x64 x86)
for arch in "${needed[@]}"; do
  [ -f "${module[$arch]}" ] || { echo "make-msi: no module ${module[$arch]}" >&2; exit 1; }
done
[ -f "$program" ] || { echo "make-msi: no program $program (build the BriselSettings target)" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
# The throwaway key and the password files go however the script ends.
secrets=()
trap 'rm -f "${secrets[@]}"' EXIT
work=$out/work-$package-$version
rm -rf "$work" && mkdir -p "$work/x86" "$work/x64"

# --- Signing -----------------------------------------------------------------
if [ -n "${BRISEL_SIGN_PFX:-}" ]; then
  pfx=$BRISEL_SIGN_PFX
  pass=${BRISEL_SIGN_PASSWORD:-}
else
  pfx=$out/test-signing.pfx
  pass=brisel-test
  if [ ! -f "$pfx" ] || [ ! -f "$out/test-signing.crt" ]; then
    echo "make-msi: no BRISEL_SIGN_PFX; making a throwaway test certificate"
    secrets+=("$work/test-signing.key")
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Brisel test signing (not trusted)" \
        -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
        -keyout "$work/test-signing.key" -out "$out/test-signing.crt" 2>/dev/null
    openssl pkcs12 -export -in "$out/test-signing.crt" -inkey "$work/test-signing.key" \
        -out "$pfx" -passout "pass:$pass"
    rm -f "$work/test-signing.key"
  fi
fi
sign() {  # sign IN OUT; the password goes through a file, not the command line
  local passfile
  passfile=$(mktemp) && secrets+=("$passfile") && printf '%s' "$pass" >"$passfile"
  rm -f "$2"   # osslsigncode will not overwrite: a package made again replaces the old one
  osslsigncode sign -pkcs12 "$pfx" -readpass "$passfile" -n "Brisel" -h sha256 -in "$1" -out "$2" >/dev/null ||
    { rm -f "$passfile"; echo "make-msi: signing $1 failed" >&2; return 1; }
  rm -f "$passfile"
}
for arch in "${needed[@]}"; do sign "${module[$arch]}" "$work/$arch/Brisel.ocx"; done
sign "$program" "$work/x86/BriselSettings.exe"
# The shortcut's icon: the one the program is built with (src/desk/desk.rc).
cp "$root/res/brisel.ico" "$work/x86/BriselSettings.ico"

# --- What self-registration writes ---------------------------------------------
# The x86 package: the 32-bit module registered in a 32-bit prefix. The x64
# package: both modules in one 64-bit prefix, the 64-bit one first and the
# 32-bit one (syswow64's regsvr32) last, each at its own install folder, so
# the exports show each view and the keys both views share as the two
# registrations leave them.
declare -A install=([x86]='C:\Program Files\Brisel')
[ "$package" = x64 ] && install=([x64]='C:\Program Files\Brisel' [x86]='C:\Program Files (x86)\Brisel')
harvest() {  # exports around registering the package's modules, into $work/harvest
  local loader=/usr/lib/wine/wine64 arch ok=0
  [ "$package" = x86 ] && loader=/usr/lib/wine/wine
  mkdir -p "$work/harvest"
  (
    local given=BRISEL_HARVEST_PREFIX_${package^^}
    export WINELOADER=$loader WINEARCH=win64 WINEPREFIX=${!given:-$root/build/package/prefix-$package}
    [ "$package" = x86 ] && WINEARCH=win32
    export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
    w() { "$loader" "$@" </dev/null 2>/dev/null; }
    regsvr() {  # regsvr ARCH [/u]
      local exe=regsvr32; [ "$package" = x64 ] && [ "$1" = x86 ] && exe='C:\windows\syswow64\regsvr32.exe'
      w "$exe" /s ${2:-} "${install[$1]}\\Brisel.ocx"
    }
    mkdir -p "$(dirname "$WINEPREFIX")"
    [ -f "$WINEPREFIX/system.reg" ] || { echo "make-msi: creating the scratch prefix $WINEPREFIX"; w wineboot -i >/dev/null || true; }
    # Our own scratch prefix's server stops with us; a caller's prefix keeps its own.
    [ -n "${!given:-}" ] || trap 'wineserver -k 2>/dev/null || true' EXIT
    order=(x86); [ "$package" = x64 ] && order=(x64 x86)
    for arch in "${order[@]}"; do
      dir_unix=$WINEPREFIX/drive_c/${install[$arch]#C:\\}; dir_unix=${dir_unix//\\//}
      [ ! -e "$dir_unix" ] || { echo "make-msi: $dir_unix exists in the scratch prefix; remove it" >&2; exit 1; }
      mkdir -p "$dir_unix" && cp "$work/$arch/Brisel.ocx" "$dir_unix/Brisel.ocx"
    done
    if w regedit /E 'C:\brisel-before.reg' HKEY_CLASSES_ROOT; then
      ok=1
      for arch in "${order[@]}"; do regsvr "$arch" || ok=0; done
      [ "$ok" = 1 ] && w regedit /E 'C:\brisel-after.reg' HKEY_CLASSES_ROOT || ok=0
    fi
    for arch in "${order[@]}"; do regsvr "$arch" /u || true; done
    w regedit /E 'C:\brisel-unregistered.reg' HKEY_CLASSES_ROOT || ok=0
    for f in before after unregistered; do mv "$WINEPREFIX/drive_c/brisel-$f.reg" "$work/harvest/" 2>/dev/null || true; done
    for arch in "${order[@]}"; do
      dir_unix=$WINEPREFIX/drive_c/${install[$arch]#C:\\}; rm -rf "${dir_unix//\\//}"
    done
    [ "$ok" = 1 ] || { echo "make-msi: registering the modules in the scratch prefix failed" >&2; exit 1; }
  )
}
env -u WINELOADERNOEXEC /usr/lib/wine/wine64 --version >/dev/null 2>&1 ||
  { echo "make-msi: this machine cannot run 64-bit programs under Wine, which registering the modules needs" >&2; exit 1; }
harvest
wxs_args=(--harvest harvest --program x86/BriselSettings.exe --icon x86/BriselSettings.ico)
for arch in "${needed[@]}"; do wxs_args+=(--module "$arch=$arch/Brisel.ocx" --install-dir "$arch=${install[$arch]}"); done

# --- The package ------------------------------------------------------------
msi=$out/Brisel-$version-$package.msi
# wixl takes the modules' paths relative to where it runs.
(cd "$work" && python3 "$root/packaging/wxsgen.py" --package "$package" --version "$version" \
    "${wxs_args[@]}" --out Brisel.wxs)
(cd "$work" && wixl -a "$package" -o unsigned.msi Brisel.wxs)
sign "$work/unsigned.msi" "$msi"
echo "make-msi: $msi ($(stat -c %s "$msi") bytes)"
