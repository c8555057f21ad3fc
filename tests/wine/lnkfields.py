#!/usr/bin/env python3
"""Prints what a shell link (.lnk) names, one field a line:
  target=C:\\Program Files\\Brisel\\BriselSettings.exe
  workdir=...  icon=...  iconindex=0  name=...  arguments=...
The target is the link information's local base path (with its common path
suffix), the Unicode one where the link has it; a link without link
information prints no target line. Only what the checks read is parsed:
the header, the ID list's size (skipped), the link information and the
string data.
  lnkfields.py FILE.lnk"""
import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH = 0x1, 0x2, 0x4, 0x8
HAS_WORKING_DIR, HAS_ARGUMENTS, HAS_ICON_LOCATION, IS_UNICODE = 0x10, 0x20, 0x40, 0x80
SHELL_LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")


def c_string(data, at, unicode):
    if unicode:
        end = at
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[at:end].decode("utf-16-le")
    return data[at:data.index(b"\0", at)].decode("cp1252")


def fields(data):
    if len(data) < 0x4C or struct.unpack_from("<I", data, 0)[0] != 0x4C or data[4:20] != SHELL_LINK_CLSID:
        raise ValueError("not a shell link")
    flags, = struct.unpack_from("<I", data, 0x14)
    icon_index, = struct.unpack_from("<i", data, 0x38)
    out = {"iconindex": str(icon_index)}
    at = 0x4C
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if flags & HAS_LINK_INFO:
        size, header, _, _, base, _, suffix = struct.unpack_from("<7I", data, at)
        unicode = header >= 0x24
        if unicode:
            base, suffix = struct.unpack_from("<2I", data, at + 28)
        if base:
            out["target"] = c_string(data, at + base, unicode) + c_string(data, at + suffix, unicode)
        at += size
    wide = bool(flags & IS_UNICODE)
    for flag, name in [(HAS_NAME, "name"), (HAS_RELATIVE_PATH, "relativepath"), (HAS_WORKING_DIR, "workdir"),
                       (HAS_ARGUMENTS, "arguments"), (HAS_ICON_LOCATION, "icon")]:
        if flags & flag:
            count, = struct.unpack_from("<H", data, at)
            length = count * (2 if wide else 1)
            raw = data[at + 2:at + 2 + length]
            # Wine's shell counts the terminating NUL in the length.
            out[name] = raw.decode("utf-16-le" if wide else "cp1252").rstrip("\0")
            at += 2 + length
    return out


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[0], "rb") as f:
        found = fields(f.read())
    for key in sorted(found):
        print("%s=%s" % (key, found[key]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
