#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine.
# Idempotent: packages already present are left alone.
#
# 32-bit Windows programs: where the kernel executes i386 programs, Wine's
# 32-bit loader runs natively. Where it does not (IA-32 emulation off), the
# user-mode emulator qemu-i386 (qemu-user 10 from bookworm-backports; 7.2
# cannot map Wine's shared user data) is installed and registered for i386
# programs through binfmt_misc, so that Wine's 32-bit processes, children
# included, run under it. BRISEL_WIN32=emulated installs the emulator on any
# machine (scripts/wine-env.sh then runs the 32-bit suite under it).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/win32-probe.sh"

SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
NEED_UPDATE=0

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  NEED_UPDATE=1
fi

for p in cmake make g++ clang libclang-rt-14-dev libgtest-dev googletest \
         g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev \
         wine wine32:i386 wine64 \
         xvfb xdotool imagemagick x11-apps xauth locales fonts-liberation \
         python3 wixl msitools osslsigncode openssl; do
  have "$p" || need+=("$p")
done

# The emulator, where 32-bit programs cannot run natively or it is asked for.
emulate=0
if [ "${BRISEL_WIN32:-}" = emulated ] || ! brisel_native_i386; then emulate=1; fi
backports=/etc/apt/sources.list.d/brisel-bookworm-backports.sources
qemu_ok() { have qemu-user && dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user)" ge 1:10; }
if [ "$emulate" = 1 ] && ! qemu_ok; then
  need+=(qemu-user/bookworm-backports)
  if [ ! -f "$backports" ]; then
    echo "setup: adding bookworm-backports (qemu-user 10) to apt's sources"
    printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' | $SUDO tee "$backports" >/dev/null
    NEED_UPDATE=1
  fi
fi

# Another set-up (or the system's own updater) may hold the package lock:
# wait for it rather than fail. The frontend is set after sudo, which would
# drop it from the environment.
apt_get() { $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=1200 "$@"; }

# A mirror in the middle of a sync serves an index of the wrong size: apt
# then ignores that index and exits 100. Try again a few times, then go on
# with what was fetched (the install below says whether it was enough).
apt_update() {
  local try
  for try in 1 2 3; do
    apt_get update -q && return 0
    echo "setup: warning: apt-get update failed (try $try of 3); some indexes may be missing" >&2
    [ "$try" -lt 3 ] && sleep 15
  done
  echo "setup: warning: going on with the package indexes as they are" >&2
}

# With one suite's index missing for one architecture, an i386 package and
# its amd64 twin come from different suites with different versions, which
# multi-arch refuses. Then the install is tried again preferring the main
# suite's versions over the security suite's.
apt_install() {
  apt_get install -y -q "$@" && return 0
  echo "setup: the install failed; trying again with the main suite's versions preferred" \
       "over bookworm-security's (an index may have been missing)" >&2
  local pref; pref=$(mktemp)
  printf '%s\n' 'Package: *' 'Pin: release n=bookworm-security' 'Pin-Priority: 100' >"$pref"
  chmod 644 "$pref"
  apt_get install -y -q -o Dir::Etc::Preferences="$pref" "$@"
  local rc=$?
  rm -f "$pref"
  return $rc
}

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  apt_update
  apt_install "${need[@]}"
elif [ "$NEED_UPDATE" = 1 ]; then
  apt_update
fi

# i386 programs to the emulator, for every process (Wine starts its 32-bit
# children itself). Only where the kernel cannot run them: a registration
# would otherwise take every i386 program away from the native path.
if ! brisel_native_i386 && ! brisel_binfmt_i386; then
  echo "setup: registering qemu-i386 for i386 programs (binfmt_misc)"
  brisel_register_binfmt_i386
fi

# A locale with a decimal comma, so the test that the text conversion
# ignores the process locale has one to switch to.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
  echo "setup: generating de_DE.UTF-8"
  $SUDO sed -i -E 's/^# *(de_DE.UTF-8 UTF-8)/\1/' /etc/locale.gen
  grep -qx 'de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen
fi
