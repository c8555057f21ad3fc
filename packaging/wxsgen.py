#!/usr/bin/env python3
"""WiX source of the Brisel installer package, generated from what the
modules' own DllRegisterServer writes.

scripts/make-msi.sh registers the package's modules at their install paths
in a scratch Wine prefix and exports HKEY_CLASSES_ROOT before and after
(regedit /E); this script takes the difference of the two exports, turns the
install paths inside the values back into the installer's own references,
and writes the package's source with exactly those keys and values in the
modules' Registry tables. So the package registers what self-registration
does, and nothing drifts when the module's registration changes.

The x86 package holds the 32-bit module, harvested in a 32-bit prefix. The
x64 package holds both, each in its own component: the 64-bit one under
Program Files, the 32-bit one under Program Files (x86), so 32-bit and
64-bit hosts on that machine each find their own. Its harvest registers both
in one 64-bit prefix, the 32-bit module last: the keys under Wow6432Node are
the 32-bit view's and go to the 32-bit module's component (Windows Installer
writes a 32-bit component's keys into that view); all others, the 64-bit
view's and the keys both views share (the ProgID, the type library's), go to
the 64-bit module's component, as the two registrations left them.

Both packages also hold Brisel Settings (BriselSettings.exe), a 32-bit
program that loads the 32-bit module from its own folder and so goes beside
it, with a shortcut in the all-users Start menu. It is never registered: its
component's key path is the program file itself, and the shortcut is part
of that component, so the package writes no registry value of its own.

  wxsgen.py --package x64 --version 1.0.0.1 --harvest harvest
            --module x64=x64/Brisel.ocx --install-dir 'x64=C:\\Program Files\\Brisel'
            --module x86=x86/Brisel.ocx --install-dir 'x86=C:\\Program Files (x86)\\Brisel'
            --program x86/BriselSettings.exe --out brisel.wxs
  (the harvest folder holds brisel-before.reg, brisel-after.reg and
  brisel-unregistered.reg)
"""
import argparse
import os
import re
import sys
import uuid
from xml.sax.saxutils import quoteattr

# Each package has its own stable UpgradeCode, and each module its own
# component ID (a component ID names one file at one path with its
# registry). The 32-bit module's component in the x64 package has an ID of
# its own: the keys both views share are the 64-bit component's there, so
# its registry is not the x86 package's.
PACKAGES = {
    "x86": {"upgrade_code": "5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C01", "modules": ["x86"]},
    "x64": {"upgrade_code": "5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C11", "modules": ["x64", "x86"]},
}
MODULES = {
    "x86": {"component": "5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C02", "component_x64": "5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C13",
            "program_files": "ProgramFilesFolder",
            "win64": False, "file": "BriselOcx", "folder": "BriselFolder"},
    "x64": {"component": "5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C12", "program_files": "ProgramFiles64Folder",
            "win64": True, "file": "BriselOcx64", "folder": "BriselFolder64"},
}
# Brisel Settings: one component in either package, at the same place on a
# 64-bit machine (Program Files (x86)) and holding the same file and
# shortcut, so one component ID.
PROGRAM = {"component": "5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C03", "file": "BriselSettingsExe",
           "name": "BriselSettings.exe", "shortcut": "BriselSettingsShortcut",
           "shortcut_name": "Brisel Settings.lnk", "icon": "BriselSettings.ico", "module": "x86"}
CLASSES = "HKEY_CLASSES_ROOT"
VIEW32 = CLASSES + "\\Wow6432Node"


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


def package_value(data, places):
    """A harvested value as the package writes it: each module's path becomes
    its file's reference [#...] and its install folder (registration writes
    it without the closing backslash) the parent folder's property with the
    folder's name, so the value follows wherever Windows Installer puts the
    folder (on 64-bit Windows a 32-bit module goes to Program Files (x86)).
    places: {module: install folder}."""
    refs = {}
    for module, install_dir in places.items():
        m = MODULES[module]
        refs[(install_dir + "\\Brisel.ocx").lower()] = "[#%s]" % m["file"]
        refs[install_dir.lower()] = "[%s]%s" % (m["program_files"], formatted(install_dir.rpartition("\\")[2]))
    # Longer first: one folder may begin with another's name.
    pattern = "|".join(re.escape(p) for p in sorted(refs, key=len, reverse=True))
    pieces = re.split("(%s)" % pattern, data, flags=re.I)
    value = "".join(refs.get(piece.lower(), formatted(piece)) if i % 2 else formatted(piece)
                    for i, piece in enumerate(pieces))
    # Any other spelling of a folder (a short name, say) would install the
    # scratch prefix's path.
    rest = re.sub(r"\[[^\]]*\]", "", value).lower()
    for install_dir in places.values():
        parent = install_dir.rpartition("\\")[0]
        if parent.lower() in rest or parent.split("\\")[0].lower() + "\\progra~" in rest:
            raise HarvestError("a value names the install folder in a form the package cannot follow: %r" % data)
    return value


def registry_elements(added, places):
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
                value = package_value(data, places)
                attrs += ' Type="string" Value=%s' % quoteattr(value)
            elif kind == "dword":
                attrs += ' Type="integer" Value="%d"' % int(data, 16)
            else:
                raise HarvestError("%s %r: value type %s is not carried" % (key, name or "(default)", kind))
            rows.append("<RegistryValue %s/>" % attrs)
    return rows


def _in_view32(key):
    return key.lower() == VIEW32.lower() or key.lower().startswith(VIEW32.lower() + "\\")


def split_views(added):
    """The x64 package's rows per module from one harvest of both: the keys
    under Wow6432Node, named as the 32-bit component writes them, for x86;
    the rest for x64."""
    views = {"x86": {}, "x64": {}}
    for key, values in added.items():
        if _in_view32(key):
            if len(key) > len(VIEW32):  # the view's own key is the system's
                views["x86"][CLASSES + key[len(VIEW32):]] = dict(values)
        else:
            views["x64"][key] = dict(values)
    return views


def program_component(program_file):
    """Brisel Settings' component, for the 32-bit module's folder. The
    shortcut is the component's, with the program file as the component's
    key path, and names its target as [#file]: a shortcut whose target is
    the feature would be an advertised one, which starts the program through
    Windows Installer and points at no file. (wixl makes a shortcut nested
    in a File element an advertised one.) Its icon is the program's, from
    the Icon table: the icon file the program is built with, not the
    program itself, which would be a second, uncompressed copy of it in the
    package."""
    p, folder = PROGRAM, MODULES[PROGRAM["module"]]["folder"]
    return f"""          <Component Id="BriselSettings" Guid="{p['component']}">
            <File Id="{p['file']}" Name="{p['name']}" Source={quoteattr(program_file)} KeyPath="yes"/>
            <Shortcut Id="{p['shortcut']}" Directory="ProgramMenuFolder" Name="{p['shortcut_name']}"
                      Target="[#{p['file']}]" WorkingDirectory="{folder}" Icon="{p['icon']}" IconIndex="0"
                      Description="Brisel Settings"/>
          </Component>"""


def wxs(package, version, components, program_file, icon_file):
    """The package's source. components: [(module, module file, rows)];
    program_file: the signed BriselSettings.exe; icon_file: its icon."""
    pkg = PACKAGES[package]
    # One ProductCode per version and package: rebuilding the same version
    # gives the same product, a new version a new one (major upgrade).
    product_code = str(uuid.uuid5(uuid.UUID(pkg["upgrade_code"]), "Brisel " + version)).upper()
    dirs, refs = [], []
    for module, module_file, rows in components:
        m = MODULES[module]
        win64 = ' Win64="yes"' if m["win64"] else ""
        registry = "\n".join("            " + r for r in rows)
        component_id = "Brisel" + ("64" if m["win64"] else "")
        program = "\n" + program_component(program_file) if module == PROGRAM["module"] else ""
        dirs.append(f"""      <Directory Id="{m['program_files']}">
        <Directory Id="{m['folder']}" Name="Brisel">
          <Component Id="{component_id}" Guid="{m.get('component_' + package, m['component'])}"{win64}>
            <File Id="{m['file']}" Name="Brisel.ocx" Source={quoteattr(module_file)} KeyPath="yes"/>
{registry}
          </Component>{program}
        </Directory>
      </Directory>""")
        refs.append(f'      <ComponentRef Id="{component_id}"/>')
    refs.append('      <ComponentRef Id="BriselSettings"/>')
    dirs, refs = "\n".join(dirs), "\n".join(refs)
    # Both packages hold the 32-bit module: the x64 package replaces an x86
    # one on the machine, and the x86 package will not go over the x64 one.
    x86_code, x64_code = PACKAGES["x86"]["upgrade_code"], PACKAGES["x64"]["upgrade_code"]
    if package == "x64":
        other = f"""    <Upgrade Id="{x86_code}">
      <UpgradeVersion Minimum="0.0.0.0" IncludeMinimum="yes" Property="BRISELX86FOUND"/>
    </Upgrade>"""
    else:
        other = f"""    <Upgrade Id="{x64_code}">
      <UpgradeVersion Minimum="0.0.0.0" IncludeMinimum="yes" OnlyDetect="yes" Property="BRISELX64FOUND"/>
    </Upgrade>
    <Condition Message="Brisel for 64-bit Windows is installed; it holds the 32-bit module too.">NOT BRISELX64FOUND</Condition>"""
    return f"""<?xml version="1.0" encoding="utf-8"?>
<!-- Generated by packaging/wxsgen.py from the modules' self-registration. -->
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product_code}" Name="Brisel" Language="1033" Version="{version}"
           Manufacturer="Brisel" UpgradeCode="{pkg['upgrade_code']}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"
             Description="Brisel {version} ({package}): sunblind node configuration plug-in"/>
    <MajorUpgrade DowngradeErrorMessage="A newer version of Brisel is already installed."/>
{other}
    <Media Id="1" Cabinet="brisel.cab" EmbedCab="yes"/>
    <Property Id="ARPNOMODIFY" Value="1"/>
    <Icon Id="{PROGRAM['icon']}" SourceFile={quoteattr(icon_file)}/>
    <Directory Id="TARGETDIR" Name="SourceDir">
{dirs}
      <Directory Id="ProgramMenuFolder"/>
    </Directory>
    <Feature Id="Brisel" Title="Brisel" Level="1">
{refs}
    </Feature>
  </Product>
</Wix>
"""


def harvested(folder):
    """What self-registration added, from a harvest folder's exports."""
    before = read_reg(os.path.join(folder, "brisel-before.reg"))
    added = registration(before, read_reg(os.path.join(folder, "brisel-after.reg")))
    # What unregistration leaves behind would be in the next harvest's
    # "before" and so missing from its package.
    left = registration(before, read_reg(os.path.join(folder, "brisel-unregistered.reg")))
    if left:
        raise HarvestError("unregistration left %s behind; harvest in a fresh prefix" % ", ".join(sorted(left)))
    if not added:
        raise HarvestError("registration wrote nothing")
    return added


def pairs(items, what, parser):
    out = {}
    for item in items:
        arch, sep, value = item.partition("=")
        if not sep or arch not in MODULES or arch in out:
            parser.error("%s %r: give each of x86, x64 once as ARCH=PATH" % (what, item))
        out[arch] = value
    return out


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--package", choices=sorted(PACKAGES), required=True)
    p.add_argument("--version", required=True)
    p.add_argument("--module", action="append", default=[], metavar="ARCH=FILE",
                   help="a signed Brisel.ocx that goes into the package")
    p.add_argument("--harvest", required=True, metavar="FOLDER",
                   help="the exports around the modules' self-registration")
    p.add_argument("--install-dir", action="append", default=[], metavar="ARCH=PATH",
                   help="where that module was registered (Windows path)")
    p.add_argument("--program", required=True, metavar="FILE",
                   help="the signed BriselSettings.exe, installed beside the 32-bit module")
    p.add_argument("--icon", required=True, metavar="FILE", help="its icon (.ico), for the shortcut")
    p.add_argument("--out", required=True)
    args = p.parse_args(argv)
    if not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", args.version):
        p.error("version %r is not a.b.c.d" % args.version)
    modules, places = pairs(args.module, "--module", p), pairs(args.install_dir, "--install-dir", p)
    wanted = PACKAGES[args.package]["modules"]
    if sorted(modules) != sorted(wanted) or sorted(places) != sorted(wanted):
        p.error("the %s package holds the %s module(s): give each --module and --install-dir"
                % (args.package, " and ".join(wanted)))
    places = {arch: path.rstrip("\\") for arch, path in places.items()}
    try:
        added = harvested(args.harvest)
        views = split_views(added) if args.package == "x64" else {"x86": added}
        components = [(arch, modules[arch], registry_elements(views[arch], places)) for arch in wanted]
    except HarvestError as e:
        print("wxsgen: %s" % e, file=sys.stderr)
        return 1
    with open(args.out, "w", encoding="utf-8") as f:
        f.write(wxs(args.package, args.version, components, args.program, args.icon))
    print("wxsgen: %s registry rows from self-registration"
          % ", ".join("%s %d" % (arch, len(rows)) for arch, _, rows in components))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
