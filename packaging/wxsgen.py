#!/usr/bin/env python3
"""WiX source of the Brisel installer package, generated from what the
module's own DllRegisterServer writes.

scripts/make-msi.sh registers the module at its install path in a scratch
Wine prefix and exports HKEY_CLASSES_ROOT before and after (regedit /E);
this script takes the difference of the two exports, turns the install path
inside the values back into the installer's own references, and writes the
package's source with exactly those keys and values in its Registry table.
So the package registers what self-registration does, and nothing drifts
when the module's registration changes.

  wxsgen.py --arch x86 --version 1.0.0.1 --module Brisel.ocx
            --install-dir 'C:\\Program Files\\Brisel' --before a.reg --after b.reg
            --out brisel.wxs
"""
import argparse
import re
import sys
import uuid
from xml.sax.saxutils import quoteattr

# What differs between the architectures. Each has its own stable
# UpgradeCode (a 32-bit and a 64-bit Brisel can sit side by side) and its
# own component ID (a component ID names one file at one path).
ARCHES = {
    "x86": {
        "upgrade_code": "5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C01",
        "component": "5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C02",
        "program_files": "ProgramFilesFolder",
        "win64": False,
    },
    "x64": {
        "upgrade_code": "5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C11",
        "component": "5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C12",
        "program_files": "ProgramFiles64Folder",
        "win64": True,
    },
}
FILE_ID = "BriselOcx"
FOLDER_ID = "BriselFolder"  # mixed case: private, cannot be moved from the command line
CLASSES = "HKEY_CLASSES_ROOT"


class HarvestError(Exception):
    pass


def read_reg(path):
    """{key: {value name ('' = default): (type, data)}} of a regedit /E file
    (UTF-16 with a byte-order mark, or UTF-8). Types: 'sz', 'dword',
    'hex(N)' or 'hex' with the data as text."""
    with open(path, "rb") as f:
        raw = f.read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8")
    # Long hex data continues on the next line after a backslash.
    text = re.sub(r"\\\r?\n\s*", "", text)
    keys, current = {}, None
    for line in text.splitlines():
        line = line.rstrip("\r")
        if not line or line.startswith(("Windows Registry Editor", "REGEDIT", ";")):
            continue
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
            continue
        if current is None:
            raise HarvestError("%s: value outside a key: %r" % (path, line))
        name, rest = _split_name(line, path)
        current[name] = _parse_data(rest, path)
    return keys


def _unquote(s):
    return re.sub(r"\\(.)", r"\1", s)


def _split_name(line, path):
    if line.startswith("@="):
        return "", line[2:]
    m = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
    if not m:
        raise HarvestError("%s: cannot read %r" % (path, line))
    return _unquote(m.group(1)), m.group(2)


def _parse_data(rest, path):
    if rest.startswith('"') and rest.endswith('"') and len(rest) >= 2:
        return ("sz", _unquote(rest[1:-1]))
    m = re.match(r"(dword|hex(?:\([0-9a-f]+\))?):(.*)$", rest)
    if not m:
        raise HarvestError("%s: cannot read value data %r" % (path, rest))
    return (m.group(1), m.group(2))


def registration(before, after):
    """What registration added: {key: {name: (type, data)}} for every key it
    created or wrote into. Registration that changes or removes anything that
    was there before is refused: the package could not undo it."""
    added = {}
    for key, values in after.items():
        old = before.get(key)
        if old is None:
            added[key] = dict(values)
            continue
        for name, data in values.items():
            if name not in old:
                added.setdefault(key, {})[name] = data
            elif old[name] != data:
                raise HarvestError("registration changed %s %r" % (key, name or "(default)"))
    for key, values in before.items():
        if key not in after or any(n not in after[key] for n in values):
            raise HarvestError("registration removed something under %s" % key)
    for key in added:
        if not (key == CLASSES or key.startswith(CLASSES + "\\")):
            raise HarvestError("registration wrote outside %s: %s" % (CLASSES, key))
    return added


def formatted(text):
    """Literal text as a Windows Installer Formatted value."""
    return re.sub(r"[\[\]]", lambda m: "[\\" + m.group(0) + "]", text)


def package_value(data, module_path, install_dir, program_files_property):
    """A harvested value as the package writes it: the module's path becomes
    the file's reference [#...] and the install folder (registration writes it
    without the closing backslash) the parent folder's property with the
    folder's name, so the value follows wherever Windows Installer puts the
    folder (on 64-bit Windows a 32-bit package goes to Program Files (x86))."""
    parent, _, name = install_dir.rpartition("\\")
    pieces = re.split("(%s|%s)" % (re.escape(module_path), re.escape(install_dir)), data, flags=re.I)
    out = []
    for piece in pieces:
        if piece.lower() == module_path.lower():
            out.append("[#%s]" % FILE_ID)
        elif piece.lower() == install_dir.lower():
            out.append("[%s]%s" % (program_files_property, formatted(name)))
        else:
            out.append(formatted(piece))
    value = "".join(out)
    # Any other spelling of the folder (a short name, say) would install the
    # scratch prefix's path.
    rest = re.sub(r"\[[^\]]*\]", "", value).lower()
    if parent.lower() in rest or parent.split("\\")[0].lower() + "\\progra~" in rest:
        raise HarvestError("a value names the install folder in a form the package cannot follow: %r" % data)
    return value


def registry_elements(added, module_path, install_dir, program_files_property):
    """RegistryValue elements, sorted by key and name. A key registration
    created without values becomes a '*' row (create the key; on uninstall
    remove it, which a '+' row would leave behind); keys with values or
    sub-keys need no row of their own."""
    rows = []
    for key in sorted(added):
        sub = key[len(CLASSES) + 1:]
        values = added[key]
        if not values:
            if not any(k.startswith(key + "\\") for k in added):
                rows.append('<RegistryValue Root="HKCR" Key=%s Name="*" Type="string" Value=""/>' % quoteattr(sub))
            continue
        for name in sorted(values):
            kind, data = values[name]
            attrs = 'Root="HKCR" Key=%s' % quoteattr(sub)
            if name:
                attrs += " Name=%s" % quoteattr(formatted(name))
            if kind == "sz":
                value = package_value(data, module_path, install_dir, program_files_property)
                attrs += ' Type="string" Value=%s' % quoteattr(value)
            elif kind == "dword":
                attrs += ' Type="integer" Value="%d"' % int(data, 16)
            else:
                raise HarvestError("%s %r: value type %s is not carried" % (key, name or "(default)", kind))
            rows.append("<RegistryValue %s/>" % attrs)
    return rows


def wxs(arch, version, module_file, rows):
    a = ARCHES[arch]
    # One ProductCode per version and architecture: rebuilding the same
    # version gives the same product, a new version a new one (major upgrade).
    product_code = str(uuid.uuid5(uuid.UUID(a["upgrade_code"]), "Brisel " + version)).upper()
    win64 = ' Win64="yes"' if a["win64"] else ""
    registry = "\n".join("            " + r for r in rows)
    return f"""<?xml version="1.0" encoding="utf-8"?>
<!-- Generated by packaging/wxsgen.py from the module's self-registration. -->
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product_code}" Name="Brisel" Language="1033" Version="{version}"
           Manufacturer="Brisel" UpgradeCode="{a['upgrade_code']}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"
             Description="Brisel {version} ({arch}): sunblind node configuration plug-in"/>
    <MajorUpgrade DowngradeErrorMessage="A newer version of Brisel is already installed."/>
    <Media Id="1" Cabinet="brisel.cab" EmbedCab="yes"/>
    <Property Id="ARPNOMODIFY" Value="1"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="{a['program_files']}">
        <Directory Id="{FOLDER_ID}" Name="Brisel">
          <Component Id="Brisel" Guid="{a['component']}"{win64}>
            <File Id="{FILE_ID}" Name="Brisel.ocx" Source={quoteattr(module_file)} KeyPath="yes"/>
{registry}
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Brisel" Title="Brisel" Level="1">
      <ComponentRef Id="Brisel"/>
    </Feature>
  </Product>
</Wix>
"""


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--arch", choices=sorted(ARCHES), required=True)
    p.add_argument("--version", required=True)
    p.add_argument("--module", required=True, help="the signed Brisel.ocx that goes into the package")
    p.add_argument("--install-dir", required=True, help="where the module was registered (Windows path)")
    p.add_argument("--before", required=True)
    p.add_argument("--after", required=True)
    p.add_argument("--unregistered", help="export after DllUnregisterServer: must equal --before")
    p.add_argument("--out", required=True)
    args = p.parse_args(argv)
    if not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", args.version):
        p.error("version %r is not a.b.c.d" % args.version)
    try:
        before = read_reg(args.before)
        added = registration(before, read_reg(args.after))
        if args.unregistered:
            # What unregistration leaves behind would be in the next harvest's
            # "before" and so missing from its package.
            left = registration(before, read_reg(args.unregistered))
            if left:
                raise HarvestError("unregistration left %s behind; harvest in a fresh prefix" % ", ".join(sorted(left)))
        if not added:
            raise HarvestError("registration wrote nothing")
        module_path = args.install_dir.rstrip("\\") + "\\Brisel.ocx"
        rows = registry_elements(added, module_path, args.install_dir.rstrip("\\"),
                                 ARCHES[args.arch]["program_files"])
    except HarvestError as e:
        print("wxsgen: %s" % e, file=sys.stderr)
        return 1
    with open(args.out, "w", encoding="utf-8") as f:
        f.write(wxs(args.arch, args.version, args.module, rows))
    print("wxsgen: %d registry rows from self-registration" % len(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
