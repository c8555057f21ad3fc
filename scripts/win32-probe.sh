# Sourced by setup.sh and wine-env.sh: how this machine runs 32-bit (i386)
# programs.

# True when the kernel itself executes i386 programs. The probe is a tiny
# i386 program that exits with 42; one byte of its ELF identification's
# padding is set, which the kernel's loader ignores but no binfmt_misc
# emulator entry matches, so an emulator registered for i386 cannot answer
# in the kernel's place.
brisel_native_i386() {
  local probe rc
  probe=$(mktemp "${TMPDIR:-/tmp}/brisel-i386-probe.XXXXXX") || return 1
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\001' >"$probe"
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
  printf '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010' >>"$probe"
  printf '\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000' >>"$probe"
  printf '\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >>"$probe"
  chmod 700 "$probe"
  "$probe" 2>/dev/null
  rc=$?
  rm -f "$probe"
  [ "$rc" -eq 42 ]
}

brisel_binfmt_dir=/proc/sys/fs/binfmt_misc
brisel_binfmt_name=brisel-i386
# The i386 ELF header as binfmt_misc matches it (executables and shared
# objects), the same magic and mask as qemu's own registration.
brisel_i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
brisel_i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# True when an enabled binfmt_misc entry sends i386 programs to qemu-i386.
brisel_binfmt_i386() {
  local e
  for e in "$brisel_binfmt_dir"/*; do
    [ -f "$e" ] && [ "$(basename "$e")" != register ] && [ "$(basename "$e")" != status ] || continue
    grep -qx enabled "$e" 2>/dev/null && grep -q '^interpreter .*qemu-i386' "$e" 2>/dev/null \
      && grep -qx 'magic 7f454c4601010100000000000000000002000300' "$e" 2>/dev/null && return 0
  done
  return 1
}

# Registers qemu-i386 for i386 programs. Flag F: the kernel opens the
# emulator now, so it works in any mount namespace. No P: qemu would take
# the program's own argv[0] for the program.
brisel_register_binfmt_i386() {
  local sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  [ -e "$brisel_binfmt_dir/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$brisel_binfmt_dir"
  [ ! -e "$brisel_binfmt_dir/$brisel_binfmt_name" ] || echo -1 | $sudo tee "$brisel_binfmt_dir/$brisel_binfmt_name" >/dev/null
  printf ':%s:M::%s:%s:%s:F\n' "$brisel_binfmt_name" "$brisel_i386_magic" "$brisel_i386_mask" /usr/bin/qemu-i386 \
    | $sudo tee "$brisel_binfmt_dir/register" >/dev/null
}
