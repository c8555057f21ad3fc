#!/usr/bin/env bash
# Builds the Release module and its signed installer package:
#   bash scripts/package.sh [x86|x64]   ->  build/dist/Brisel-<version>-<arch>.msi
# (x86 by default). The version is the file VERSION's, the one the module's
# version block has. Signing: BRISEL_SIGN_PFX / BRISEL_SIGN_PASSWORD, else a
# throwaway test certificate left as build/dist/test-signing.pfx and .crt
# (see scripts/make-msi.sh). Packaging registers the module in a scratch Wine
# prefix of the package's architecture, so an x86 package needs a machine
# that runs 32-bit programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
arch=${1:-x86}
case $arch in
  x86) build=win32 ;;
  x64) build=win64 ;;
  *) echo "package: unknown architecture '$arch' (x86 or x64)" >&2; exit 2 ;;
esac
. scripts/wine-env.sh
brisel_select_arch "$build"
brisel_build "$build" Brisel
bash scripts/make-msi.sh "build/$build/Brisel.ocx" "$(head -n 1 VERSION)" "$arch" build/dist
