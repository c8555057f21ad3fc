#!/usr/bin/env bash
# Makes the signed installer package of built Brisel.ocx modules:
#   scripts/make-msi.sh VERSION PACKAGE OUTDIR X86_MODULE X64_MODULE
# PACKAGE x86 holds the 32-bit module; x64 holds both (the 32-bit one for
# 32-bit hosts on a 64-bit machine). An x86 package made where 32-bit
# programs run does not need X64_MODULE to exist.
# 1. signs a copy of each module (Authenticode, osslsigncode), kept as
#    OUTDIR/work-PACKAGE-VERSION/ARCH/Brisel.ocx; the WiX source goes beside;
# 2. registers each copy the package holds at its install path, Program
#    Files\Brisel, in a scratch Wine prefix of its bitness and exports
#    HKEY_CLASSES_ROOT before and after. Where this machine cannot run 32-bit
#    programs, the 32-bit module's registration is derived from the 64-bit
#    module's instead (packaging/wxsgen.py says how);
# 3. packaging/wxsgen.py turns the differences into the package's registry
#    tables, wixl builds OUTDIR/Brisel-VERSION-PACKAGE.msi, which is signed too.
# The certificate: BRISEL_SIGN_PFX (PKCS#12) with BRISEL_SIGN_PASSWORD, or a
# throwaway test certificate made once as OUTDIR/test-signing.pfx, with its
# certificate as OUTDIR/test-signing.crt (PEM) for osslsigncode verify -CAfile.
# The scratch prefixes: BRISEL_HARVEST_PREFIX_X86 / _X64 when set (a caller's
# prefix of that bitness, left running), else build/package/prefix-ARCH.
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 VERSION PACKAGE OUTDIR X86_MODULE X64_MODULE" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
version=$1 package=$2 out=$3
declare -A module=([x86]=$4 [x64]=$5)
case $package in
  x86|x64) ;;
  *) echo "make-msi: unknown package '$package' (x86 or x64)" >&2; exit 2 ;;
esac
# The modules this package needs: its own, and the 64-bit one where the
# 32-bit module's registration has to be derived from it.
runs32=0; /usr/lib/wine/wine --version >/dev/null 2>&1 && runs32=1
needed=(x86 x64); [ "$package" = x86 ] && [ "$runs32" = 1 ] && needed=(x86)
for arch in "${needed[@]}"; do
  [ -f "${module[$arch]}" ] || { echo "make-msi: no module ${module[$arch]}" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
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
  passfile=$(mktemp) && printf '%s' "$pass" >"$passfile"
  rm -f "$2"   # osslsigncode will not overwrite: a package made again replaces the old one
  osslsigncode sign -pkcs12 "$pfx" -readpass "$passfile" -n "Brisel" -h sha256 -in "$1" -out "$2" >/dev/null ||
    { rm -f "$passfile"; echo "make-msi: signing $1 failed" >&2; return 1; }
  rm -f "$passfile"
}
for arch in "${needed[@]}"; do sign "${module[$arch]}" "$work/$arch/Brisel.ocx"; done

# --- What self-registration writes ---------------------------------------------
harvest() {  # harvest ARCH: exports around registering $work/ARCH/Brisel.ocx, into $work/ARCH
  local arch=$1 loader=/usr/lib/wine/wine64 dir_unix dir_win ok=0
  [ "$arch" = x86 ] && loader=/usr/lib/wine/wine
  (
    local given=BRISEL_HARVEST_PREFIX_${arch^^}
    export WINELOADER=$loader WINEARCH=win64 WINEPREFIX=${!given:-$root/build/package/prefix-$arch}
    [ "$arch" = x86 ] && WINEARCH=win32
    export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
    w() { "$loader" "$@" </dev/null 2>/dev/null; }
    mkdir -p "$(dirname "$WINEPREFIX")"
    [ -f "$WINEPREFIX/system.reg" ] || { echo "make-msi: creating the scratch prefix $WINEPREFIX"; w wineboot -i >/dev/null || true; }
    # Our own scratch prefix's server stops with us; a caller's prefix keeps its own.
    [ -n "${!given:-}" ] || trap 'wineserver -k 2>/dev/null || true' EXIT
    dir_unix="$WINEPREFIX/drive_c/Program Files/Brisel"
    dir_win='C:\Program Files\Brisel'
    [ ! -e "$dir_unix" ] || { echo "make-msi: $dir_unix exists in the scratch prefix; remove it" >&2; exit 1; }
    mkdir -p "$dir_unix"
    cp "$work/$arch/Brisel.ocx" "$dir_unix/Brisel.ocx"
    if w regedit /E 'C:\brisel-before.reg' HKEY_CLASSES_ROOT &&
       w regsvr32 /s "$dir_win\\Brisel.ocx" &&
       w regedit /E 'C:\brisel-after.reg' HKEY_CLASSES_ROOT; then ok=1; fi
    w regsvr32 /s /u "$dir_win\\Brisel.ocx" || true
    w regedit /E 'C:\brisel-unregistered.reg' HKEY_CLASSES_ROOT || ok=0
    for f in before after unregistered; do mv "$WINEPREFIX/drive_c/brisel-$f.reg" "$work/$arch/" 2>/dev/null || true; done
    rm -rf "$dir_unix"
    [ "$ok" = 1 ] || { echo "make-msi: registering the $arch module in the scratch prefix failed" >&2; exit 1; }
  )
}
/usr/lib/wine/wine64 --version >/dev/null 2>&1 ||
  { echo "make-msi: this machine cannot run 64-bit programs under Wine, which registering the modules needs" >&2; exit 1; }
wxs_args=(--module x86=x86/Brisel.ocx)
[ "$package" = x64 ] && wxs_args+=(--module x64=x64/Brisel.ocx)
if [ "$runs32" = 1 ]; then
  harvest x86
  wxs_args+=(--harvest x86=x86)
  if [ "$package" = x64 ]; then harvest x64; wxs_args+=(--harvest x64=x64); fi
else
  echo "make-msi: this machine cannot run 32-bit programs: the 32-bit module's registration is derived from the 64-bit module's"
  harvest x64
  wxs_args+=(--harvest x64=x64)
fi

# --- The package ------------------------------------------------------------
msi=$out/Brisel-$version-$package.msi
# wixl takes the modules' paths relative to where it runs.
(cd "$work" && python3 "$root/packaging/wxsgen.py" --package "$package" --version "$version" \
    --install-dir 'C:\Program Files\Brisel' "${wxs_args[@]}" --out Brisel.wxs)
(cd "$work" && wixl -a "$package" -o unsigned.msi Brisel.wxs)
sign "$work/unsigned.msi" "$msi"
echo "make-msi: $msi ($(stat -c %s "$msi") bytes)"
