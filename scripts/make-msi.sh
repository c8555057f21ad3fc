#!/usr/bin/env bash
# Makes the signed installer package of a built Brisel.ocx:
#   scripts/make-msi.sh MODULE VERSION ARCH OUTDIR     (ARCH: x86 or x64)
# 1. signs a copy of MODULE (Authenticode, osslsigncode), kept as
#    OUTDIR/work-ARCH-VERSION/Brisel.ocx with the generated WiX source;
# 2. registers that copy at its install path, Program Files\Brisel, in a
#    scratch Wine prefix and exports HKEY_CLASSES_ROOT before and after;
# 3. packaging/wxsgen.py turns the difference into the package's registry
#    table, wixl builds OUTDIR/Brisel-VERSION-ARCH.msi, which is signed too.
# The certificate: BRISEL_SIGN_PFX (PKCS#12) with BRISEL_SIGN_PASSWORD, or a
# throwaway test certificate made once as OUTDIR/test-signing.pfx, with its
# certificate as OUTDIR/test-signing.crt (PEM) for osslsigncode verify -CAfile.
# The scratch prefix: BRISEL_HARVEST_PREFIX, else build/package/prefix-ARCH.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 MODULE VERSION ARCH OUTDIR" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
module=$1 version=$2 arch=$3 out=$4
case $arch in
  x86) winearch=win32; loader=/usr/lib/wine/wine ;;
  x64) winearch=win64; loader=/usr/lib/wine/wine64 ;;
  *) echo "make-msi: unknown architecture '$arch' (x86 or x64)" >&2; exit 2 ;;
esac
[ -f "$module" ] || { echo "make-msi: no module $module" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$out/work-$arch-$version
rm -rf "$work" && mkdir -p "$work"

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
  osslsigncode sign -pkcs12 "$pfx" -readpass "$passfile" -n "Brisel" -h sha256 -in "$1" -out "$2" >/dev/null ||
    { rm -f "$passfile"; echo "make-msi: signing $1 failed" >&2; return 1; }
  rm -f "$passfile"
}
sign "$module" "$work/Brisel.ocx"

# --- What self-registration writes ---------------------------------------------
export WINEARCH=$winearch WINELOADER=$loader
export WINEPREFIX=${BRISEL_HARVEST_PREFIX:-$root/build/package/prefix-$arch}
export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
w() { "$loader" "$@" </dev/null 2>/dev/null; }
if ! "$loader" --version >/dev/null 2>&1; then
  echo "make-msi: this machine cannot run $arch programs under Wine ($loader), which registering the module needs" >&2
  exit 1
fi
mkdir -p "$(dirname "$WINEPREFIX")"
[ -f "$WINEPREFIX/system.reg" ] || { echo "make-msi: creating the scratch prefix $WINEPREFIX"; w wineboot -i >/dev/null || true; }
# Our own scratch prefix's server stops with us; a caller's prefix keeps its own.
[ -n "${BRISEL_HARVEST_PREFIX:-}" ] || trap 'wineserver -k 2>/dev/null || true' EXIT
dir_unix="$WINEPREFIX/drive_c/Program Files/Brisel"
dir_win='C:\Program Files\Brisel'
[ ! -e "$dir_unix" ] || { echo "make-msi: $dir_unix exists in the scratch prefix; remove it" >&2; exit 1; }
mkdir -p "$dir_unix"
cp "$work/Brisel.ocx" "$dir_unix/Brisel.ocx"
harvest_ok=0
if w regedit /E 'C:\brisel-before.reg' HKEY_CLASSES_ROOT &&
   w regsvr32 /s "$dir_win\\Brisel.ocx" &&
   w regedit /E 'C:\brisel-after.reg' HKEY_CLASSES_ROOT; then harvest_ok=1; fi
w regsvr32 /s /u "$dir_win\\Brisel.ocx" || true
w regedit /E 'C:\brisel-unregistered.reg' HKEY_CLASSES_ROOT || harvest_ok=0
for f in before after unregistered; do mv "$WINEPREFIX/drive_c/brisel-$f.reg" "$work/" 2>/dev/null || true; done
rm -rf "$dir_unix"

[ "$harvest_ok" = 1 ] || { echo "make-msi: registering the module in the scratch prefix failed" >&2; exit 1; }

# --- The package ------------------------------------------------------------
msi=$out/Brisel-$version-$arch.msi
# wixl takes the module's path relative to where it runs.
python3 "$root/packaging/wxsgen.py" --arch "$arch" --version "$version" --module Brisel.ocx \
    --install-dir "$dir_win" --before "$work/brisel-before.reg" --after "$work/brisel-after.reg" \
    --unregistered "$work/brisel-unregistered.reg" \
    --out "$work/Brisel.wxs"
(cd "$work" && wixl -a "$arch" -o unsigned.msi Brisel.wxs)
sign "$work/unsigned.msi" "$msi"
echo "make-msi: $msi ($(stat -c %s "$msi") bytes)"
