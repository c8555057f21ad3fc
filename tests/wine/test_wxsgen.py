"""The package's registry table from two registry exports (packaging/wxsgen.py):
which differences become rows, how install paths become the installer's own
references, and the registrations the package must refuse to carry; Brisel
Settings beside the 32-bit module, with its Start-menu shortcut and no
registry of its own."""
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging"))
import wxsgen  # noqa: E402

DIR = r"C:\Program Files\Brisel"
OCX = DIR + r"\Brisel.ocx"
HEADER = "Windows Registry Editor Version 5.00\n\n"


SCRATCH = tempfile.TemporaryDirectory()


def export(body):
    """A regedit /E file as Wine writes it: UTF-16 with a byte-order mark, CRLF."""
    path = os.path.join(SCRATCH.name, "%d.reg" % len(os.listdir(SCRATCH.name)))
    with open(path, "wb") as f:
        f.write((HEADER + body).replace("\n", "\r\n").encode("utf-16"))
    return path


BEFORE = r"""[HKEY_CLASSES_ROOT\CLSID]

[HKEY_CLASSES_ROOT\Interface]
@="keep"
"""


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def rows_for(after_body, before_body=BEFORE):
    before, after = wxsgen.read_reg(export(before_body)), wxsgen.read_reg(export(before_body + after_body))
    added = wxsgen.registration(before, after)
    return wxsgen.registry_elements(added, {"x86": DIR})


class Rows(unittest.TestCase):
    def test_added_entries_become_rows(self):
        cases = [
            ("default value",
             '[HKEY_CLASSES_ROOT\\A]\n@="Brisel Control"\n',
             ['<RegistryValue Root="HKCR" Key="A" Type="string" Value="Brisel Control"/>']),
            ("named value, escaped quote and backslash",
             '[HKEY_CLASSES_ROOT\\A]\n"Say"="a \\"b\\" c\\\\d"\n',
             ['<RegistryValue Root="HKCR" Key="A" Name="Say" Type="string" Value=\'a "b" c\\d\'/>']),
            ("module path, any case, inside a longer value",
             '[HKEY_CLASSES_ROOT\\A]\n@="c:\\\\program files\\\\brisel\\\\BRISEL.OCX, 1"\n',
             ['<RegistryValue Root="HKCR" Key="A" Type="string" Value="[#BriselOcx], 1"/>']),
            ("folder without its closing backslash",
             '[HKEY_CLASSES_ROOT\\A]\n@="C:\\\\Program Files\\\\Brisel"\n',
             ['<RegistryValue Root="HKCR" Key="A" Type="string" Value="[ProgramFilesFolder]Brisel"/>']),
            ("brackets are literal text",
             '[HKEY_CLASSES_ROOT\\A]\n@="[x]"\n',
             ['<RegistryValue Root="HKCR" Key="A" Type="string" Value="[\\[]x[\\]]"/>']),
            ("percent and braces stay as they are",
             '[HKEY_CLASSES_ROOT\\A]\n@="%1 {B42E6C39-22E8-49EF-8995-52B26D5A1030}"\n',
             ['<RegistryValue Root="HKCR" Key="A" Type="string" Value="%1 {B42E6C39-22E8-49EF-8995-52B26D5A1030}"/>']),
            ("dword",
             '[HKEY_CLASSES_ROOT\\A]\n"N"=dword:0000002a\n',
             ['<RegistryValue Root="HKCR" Key="A" Name="N" Type="integer" Value="42"/>']),
            ("empty leaf key is created and removed whole; parents need no row",
             '[HKEY_CLASSES_ROOT\\CLSID\\{X}]\n\n[HKEY_CLASSES_ROOT\\CLSID\\{X}\\Control]\n',
             ['<RegistryValue Root="HKCR" Key="CLSID\\{X}\\Control" Name="*" Type="string" Value=""/>']),
            ("value added to a key that was there",
             '[HKEY_CLASSES_ROOT\\Interface]\n"New"="v"\n',
             ['<RegistryValue Root="HKCR" Key="Interface" Name="New" Type="string" Value="v"/>']),
        ]
        for name, after, expected in cases:
            with self.subTest(name):
                self.assertEqual(rows_for(after), expected)

    def test_rows_are_sorted_by_key_then_name(self):
        after = '[HKEY_CLASSES_ROOT\\B]\n"z"="1"\n"a"="2"\n\n[HKEY_CLASSES_ROOT\\A]\n@="3"\n'
        keys = [r.split('Key="')[1].split('"')[0] + "/" + (r.split('Name="')[1].split('"')[0] if "Name=" in r else "")
                for r in rows_for(after)]
        self.assertEqual(keys, ["A/", "B/a", "B/z"])

    def test_long_hex_data_continued_on_next_line(self):
        keys = wxsgen.read_reg(export('[HKEY_CLASSES_ROOT\\A]\n"H"=hex:01,02,\\\n  03,04\n'))
        self.assertEqual(keys["HKEY_CLASSES_ROOT\\A"]["H"], ("hex", "01,02,03,04"))


class Refused(unittest.TestCase):
    def test_registrations_the_package_cannot_carry(self):
        cases = [
            ("changes a value that was there", BEFORE.replace('"keep"', '"changed"'), "changed"),
            ("removes a value that was there", BEFORE.replace('@="keep"\n', ""), "removed"),
            ("removes a key that was there", '[HKEY_CLASSES_ROOT\\Interface]\n@="keep"\n', "removed"),
            ("writes outside the classes", BEFORE + '[HKEY_LOCAL_MACHINE\\Software\\X]\n@="1"\n', "outside"),
        ]
        for name, after, message in cases:
            with self.subTest(name):
                with self.assertRaisesRegex(wxsgen.HarvestError, message):
                    wxsgen.registration(wxsgen.read_reg(export(BEFORE)), wxsgen.read_reg(export(after)))

    def test_values_the_package_cannot_follow(self):
        cases = [
            ("short name of the folder", '[HKEY_CLASSES_ROOT\\A]\n@="C:\\\\PROGRA~1\\\\Brisel\\\\Brisel.ocx"\n',
             "install folder"),
            ("another file in the folder's parent", '[HKEY_CLASSES_ROOT\\A]\n@="C:\\\\Program Files\\\\x.dll"\n',
             "install folder"),
            ("binary value", '[HKEY_CLASSES_ROOT\\A]\n"B"=hex:01\n', "not carried"),
        ]
        for name, after, message in cases:
            with self.subTest(name):
                with self.assertRaisesRegex(wxsgen.HarvestError, message):
                    rows_for(after)


class Views(unittest.TestCase):
    """The two modules' registrations, harvested in one 64-bit prefix, in one
    64-bit package."""
    DIR32 = r"C:\Program Files (x86)\Brisel"
    OCX32 = DIR32 + r"\Brisel.ocx"

    def test_each_view_to_its_modules_component(self):
        added = {
            "HKEY_CLASSES_ROOT\\CLSID\\{C}\\InprocServer32": {"": ("sz", OCX)},
            "HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{C}\\InprocServer32": {"": ("sz", self.OCX32)},
            "HKEY_CLASSES_ROOT\\wow6432node\\Interface\\{I}": {"": ("sz", "_DBrisel")},
            "HKEY_CLASSES_ROOT\\Wow6432Node": {},
            "HKEY_CLASSES_ROOT\\Brisel.BriselCtrl.1\\CLSID": {"": ("sz", "{C}")},
            "HKEY_CLASSES_ROOT\\TypeLib\\{L}\\1.0\\HELPDIR": {"": ("sz", self.DIR32)},
        }
        self.assertEqual(wxsgen.split_views(added), {
            "x86": {"HKEY_CLASSES_ROOT\\CLSID\\{C}\\InprocServer32": {"": ("sz", self.OCX32)},
                    "HKEY_CLASSES_ROOT\\Interface\\{I}": {"": ("sz", "_DBrisel")}},
            # the 64-bit view's and the keys both views share
            "x64": {"HKEY_CLASSES_ROOT\\CLSID\\{C}\\InprocServer32": {"": ("sz", OCX)},
                    "HKEY_CLASSES_ROOT\\Brisel.BriselCtrl.1\\CLSID": {"": ("sz", "{C}")},
                    "HKEY_CLASSES_ROOT\\TypeLib\\{L}\\1.0\\HELPDIR": {"": ("sz", self.DIR32)}},
        })

    def test_values_name_each_modules_own_file_and_folder(self):
        places = {"x64": DIR, "x86": self.DIR32}
        cases = [(OCX, "[#BriselOcx64]"), (DIR, "[ProgramFiles64Folder]Brisel"),
                 (self.OCX32 + ", 1", "[#BriselOcx], 1"), (self.DIR32.upper(), "[ProgramFilesFolder]Brisel")]
        for data, expected in cases:
            with self.subTest(data):
                self.assertEqual(wxsgen.package_value(data, places), expected)


class Package(unittest.TestCase):
    def wxs(self, package, version):
        modules = wxsgen.PACKAGES[package]["modules"]
        return wxsgen.wxs(package, version, [(m, m + "/Brisel.ocx", ["<RegistryValue/>"]) for m in modules],
                          "x86/BriselSettings.exe", "x86/BriselSettings.ico")

    def test_product_codes(self):
        x86 = self.wxs("x86", "1.0.0.1")
        self.assertIn('UpgradeCode="5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C01"', x86)
        code = lambda text: text.split('Product Id="')[1].split('"')[0]
        # The same version gives the same product; another version or
        # package another one.
        self.assertEqual(code(x86), code(self.wxs("x86", "1.0.0.1")))
        self.assertNotEqual(code(x86), code(self.wxs("x86", "1.0.1.0")))
        self.assertNotEqual(code(x86), code(self.wxs("x64", "1.0.0.1")))

    def test_packages_hold_their_modules(self):
        for package, folders, win64 in [("x86", ["ProgramFilesFolder"], 0),
                                        ("x64", ["ProgramFiles64Folder", "ProgramFilesFolder"], 1)]:
            with self.subTest(package):
                text = self.wxs(package, "1.0.0.1")
                self.assertEqual([d for d in folders if '<Directory Id="%s">' % d in text], folders)
                self.assertEqual(text.count('Win64="yes"'), win64)
                # the modules' and Brisel Settings'
                self.assertEqual(text.count("<ComponentRef "), len(folders) + 1)

    def test_builds_with_wixl(self):
        """wixl accepts the source and the tables hold the rows: escaped '#',
        the '*' key row, and each module's component in its own view."""
        rows = rows_for('[HKEY_CLASSES_ROOT\\A]\n@="#1"\n\n[HKEY_CLASSES_ROOT\\A\\Control]\n')
        with tempfile.TemporaryDirectory() as d:
            for m in ("x86", "x64"):
                os.mkdir(os.path.join(d, m))
                write(os.path.join(d, m, "Brisel.ocx"), "MZ")
            write(os.path.join(d, "x86", "BriselSettings.exe"), "MZ")
            write(os.path.join(d, "x86", "BriselSettings.ico"), "icon")
            components = [(m, m + "/Brisel.ocx", rows) for m in ("x64", "x86")]
            write(os.path.join(d, "b.wxs"), wxsgen.wxs("x64", "1.0.0.1", components, "x86/BriselSettings.exe",
                                                             "x86/BriselSettings.ico"))
            subprocess.run(["wixl", "-a", "x64", "-o", "b.msi", "b.wxs"], cwd=d, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            table = lambda name: [line.split("\t") for line in subprocess.run(
                ["msiinfo", "export", "b.msi", name], cwd=d, check=True,
                capture_output=True, text=True).stdout.splitlines()[3:]]
            registry, component = table("Registry"), table("Component")
        found = sorted((r[5], r[1], r[2], r[3], r[4]) for r in registry)
        self.assertEqual(found, [("Brisel", "0", "A", "", "##1"), ("Brisel", "0", "A\\Control", "*", ""),
                                 ("Brisel64", "0", "A", "", "##1"), ("Brisel64", "0", "A\\Control", "*", "")])
        # msidbComponentAttribute64bit (256) on the 64-bit module's component only
        attributes = {c[0]: int(c[3]) & 256 for c in component}
        self.assertEqual(attributes, {"Brisel": 0, "Brisel64": 256, "BriselSettings": 0})


def msi_tables(package, names):
    """The tables of a package wixl builds from wxsgen's source: {table:
    sorted rows}, each row a tuple of its columns."""
    modules = wxsgen.PACKAGES[package]["modules"]
    rows = rows_for('[HKEY_CLASSES_ROOT\\A]\n@="1"\n')
    with tempfile.TemporaryDirectory() as d:
        for m in modules:
            os.makedirs(os.path.join(d, m), exist_ok=True)
            write(os.path.join(d, m, "Brisel.ocx"), "MZ module")
        write(os.path.join(d, "x86", "BriselSettings.exe"), "MZ program")
        write(os.path.join(d, "x86", "BriselSettings.ico"), "icon")
        components = [(m, m + "/Brisel.ocx", rows) for m in modules]
        write(os.path.join(d, "b.wxs"), wxsgen.wxs(package, "1.0.0.1", components, "x86/BriselSettings.exe",
                                                             "x86/BriselSettings.ico"))
        subprocess.run(["wixl", "-a", package, "-o", "b.msi", "b.wxs"], cwd=d, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return {name: sorted(tuple(line.split("\t")) for line in subprocess.run(
            ["msiinfo", "export", "b.msi", name], cwd=d, check=True,
            capture_output=True, text=True).stdout.splitlines()[3:]) for name in names}


class SettingsProgram(unittest.TestCase):
    """Brisel Settings in both packages: beside the 32-bit module, in a
    component of its own whose key path is the program file, with a
    shortcut that names the file (not an advertised one) in the Start
    menu's Programs folder of a per-machine install, and no registry."""

    def test_program_and_shortcut_in_each_package(self):
        for package in ("x86", "x64"):
            with self.subTest(package):
                t = msi_tables(package, ["Component", "File", "Shortcut", "Icon", "Directory", "Property",
                                         "Registry", "FeatureComponents"])
                self.assertIn(("BriselSettings", "{5E0B7A54-3C1F-4C8B-9B41-2F6D3A8E1C03}", "BriselFolder", "0", "",
                               "BriselSettingsExe"), t["Component"])
                self.assertEqual([f[:3] for f in t["File"] if f[0] == "BriselSettingsExe"],
                                 [("BriselSettingsExe", "BriselSettings", "BriselSettings.exe")])
                self.assertEqual(t["Shortcut"], [(
                    "BriselSettingsShortcut", "ProgramMenuFolder", "Brisel Settings.lnk", "BriselSettings",
                    "[#BriselSettingsExe]", "", "Brisel Settings", "", "BriselSettings.ico", "0", "",
                    "BriselFolder", "", "", "", "")])
                self.assertEqual(t["Icon"], [("BriselSettings.ico", "Icon.BriselSettings.ico")])
                # The 32-bit module's folder, in the 32-bit Program Files.
                self.assertIn(("BriselFolder", "ProgramFilesFolder", "Brisel"), t["Directory"])
                self.assertIn(("ProgramMenuFolder", "TARGETDIR", "."), t["Directory"])
                self.assertIn(("ALLUSERS", "1"), t["Property"])
                self.assertIn(("Brisel", "BriselSettings"), t["FeatureComponents"])
                self.assertEqual([r for r in t["Registry"] if r[5] == "BriselSettings"], [])

    def test_command_line_takes_the_program(self):
        with tempfile.TemporaryDirectory() as d:
            harvest = os.path.join(d, "harvest")
            os.mkdir(harvest)
            for name, body in [("before", BEFORE), ("unregistered", BEFORE),
                               ("after", BEFORE + '[HKEY_CLASSES_ROOT\\A]\n@="1"\n')]:
                with open(export(body), "rb") as src, open(os.path.join(harvest, "brisel-%s.reg" % name), "wb") as dst:
                    dst.write(src.read())
            out = os.path.join(d, "b.wxs")
            args = ["--package", "x86", "--version", "1.0.0.1", "--harvest", harvest, "--module", "x86=x86/Brisel.ocx",
                    "--install-dir", "x86=" + DIR, "--program", "x86/Brisel Settings.exe", "--icon", "x86/Brisel Settings.ico", "--out", out]
            with open(os.devnull, "w") as quiet:
                stdout, sys.stdout = sys.stdout, quiet
                try:
                    self.assertEqual(wxsgen.main(args), 0)
                finally:
                    sys.stdout = stdout
            with open(out, encoding="utf-8") as f:
                text = f.read()
        self.assertIn('<File Id="BriselSettingsExe" Name="BriselSettings.exe" Source="x86/Brisel Settings.exe" '
                      'KeyPath="yes"/>', text)
        self.assertIn('<Icon Id="BriselSettings.ico" SourceFile="x86/Brisel Settings.ico"/>', text)


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=1).result
    bad = len(result.failures) + len(result.errors)
    print("checks: %d passed, %d failed" % (result.testsRun - bad, bad))  # collected by scripts/test.sh
    sys.exit(1 if bad else 0)
