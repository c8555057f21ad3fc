#!/usr/bin/env bash
# Builds the Release modules and a signed installer package:
#   bash scripts/package.sh [x86|x64]   ->  build/dist/Brisel-<version>-<package>.msi
# (x86 by default: the 32-bit module; x64: both modules, for 64-bit Windows;
# either with Brisel Settings, the 32-bit program, beside the 32-bit module).
# The version is the file VERSION's, the one the modules' version blocks
# have. Signing: BRISEL_SIGN_PFX / BRISEL_SIGN_PASSWORD, else a throwaway test
# certificate left as build/dist/test-signing.pfx and .crt (see
# scripts/make-msi.sh). The 32-bit module registers itself while the
# package is made, so 32-bit programs must run here, natively or under the
# emulator that scripts/setup.sh installs where the kernel cannot run them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
package=${1:-x86}
case $package in
  x86|x64) ;;
  *) echo "package: unknown package '$package' (x86 or x64)" >&2; exit 2 ;;
esac
. scripts/wine-env.sh
brisel_build win32 Brisel BriselSettings
[ "$package" = x86 ] || brisel_build win64 Brisel
bash scripts/make-msi.sh "$(head -n 1 VERSION)" "$package" build/dist build/win32/Brisel.ocx build/win64/Brisel.ocx
