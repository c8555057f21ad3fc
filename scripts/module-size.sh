#!/usr/bin/env bash
# Builds the Release Brisel.ocx of each architecture with a link map into
# build/size-win32 and build/size-win64 (the module target only), prints its
# size and what it is made of by the map: the bytes kept from each library
# and the largest objects and library members. Fails when the C++ runtime's
# floating-point text conversions (std::to_chars, std::from_chars) are
# linked in. Usage: scripts/module-size.sh [win32|win64]...   (default both)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(win32 win64)
bash scripts/setup.sh >/dev/null
status=0
for arch in "${arches[@]}"; do
  tc=i686; [ "$arch" = win64 ] && tc=x86_64
  dir=$root/build/size-$arch
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$tc-mingw.cmake" \
        -DCMAKE_MODULE_LINKER_FLAGS="-Wl,-Map=$dir/Brisel.map" >/dev/null
  cmake --build "$dir" -j2 --target Brisel >/dev/null
  echo "$arch: Brisel.ocx $(stat -c %s "$dir/Brisel.ocx") bytes (map: $dir/Brisel.map)"
  if grep -q 'floating_to_chars\|floating_from_chars' "$dir/Brisel.map"; then
    echo "$arch: std::to_chars/std::from_chars for floating types are linked in"; status=1
  fi
  python3 - "$dir/Brisel.map" <<'EOF'
import collections, re, sys
lines = open(sys.argv[1], errors='replace').read().split('\n')
lines = lines[next(i for i, l in enumerate(lines) if l.startswith('Linker script and memory map')):]
kept = collections.Counter()
name = None  # an input section whose address and size are on the next line
for l in lines:
    m = re.match(r'^ (\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$', l) if l.startswith(' .') else None
    if not m and name:
        m = re.match(r'^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$', l)
        size, f = (int(m.group(1), 16), m.group(2)) if m else (0, '')
    elif m:
        size, f = int(m.group(2), 16), m.group(3)
    else:
        size = 0
    name = re.match(r'^ \.\S+$', l)
    if size: kept[f] += size
libs, parts = collections.Counter(), collections.Counter()
for f, size in kept.items():
    m = re.search(r'([^/]+\.a)\((.*)\)$', f)
    lib, part = (m.group(1), m.group(2)) if m else ('start-up objects', f.split('/')[-1])
    if lib == 'objects.a': lib = "the module's own objects"
    libs[lib] += size
    parts[lib + ': ' + part] += size
print('  kept, by library (code, data, unwind tables, resources):')
for lib, size in libs.most_common(): print(f'  {size:8d} {lib}')
print('  largest parts:')
for part, size in parts.most_common(16): print(f'  {size:8d} {part}')
EOF
done
exit $status
