#!/usr/bin/env bash
# Builds the Release module and its signed installer package:
#   bash scripts/package.sh          ->  build/dist/Brisel-<version>-x86.msi
# The version is the file VERSION's, the one the module's version block has.
# Signing: BRISEL_SIGN_PFX / BRISEL_SIGN_PASSWORD, else a throwaway test
# certificate left as build/dist/test-signing.pfx and .crt (see make-msi.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
arch=${1:-x86}
[ "$arch" = x86 ] || { echo "package: only x86 is built so far" >&2; exit 2; }
. scripts/wine-env.sh
brisel_build_win32 Brisel
version=$(head -n 1 VERSION)
bash scripts/make-msi.sh build/win32/Brisel.ocx "$version" "$arch" build/dist
