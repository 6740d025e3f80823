#!/usr/bin/env python3
"""The Windows installer read back (msiinfo, msidump), then, under Wine in the
tests' prefix, each case of CASES: silent installations, the installed files,
CLI, shortcuts and uninstall entry checked, a silent uninstallation, and nothing
of ours left on disk or in the registry but what the workbench remembers for
its user, which is the user's. The next version is made by cpack.
  msi_test.py BUILD_DIR      (build/mingw, after cpack; inside scripts/wine-session)
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[3]
ICON = (ROOT / "assets" / "icon" / "veltrano.ico").read_bytes()
EXAMPLE = ["100", "0.5", "0.95", "0.05", "2", "2.5"]
INSTALL_DIR = "C:\\Program Files\\Veltrano\\"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
# What the workbench remembers for its user: written by the program, never by the package.
REMEMBERED = r"HKCU\Software\Veltrano\Workbench"
# The Start-menu shortcuts: name, arguments.
SHORTCUTS = [("Veltrano", ""), ("Veltrano 设计", "--design")]
PRODUCTS = r"HKLM\Software\Classes\Installer\Products"

# The installers run (and whether msiexec must succeed), the version the
# machine must have, which is then uninstalled, and whether the installed
# workbench is opened and closed before (what it remembers must outlive the
# uninstallation).
CASES = [
    ("installed, then uninstalled", [("this", True)], "this", False),
    ("installed twice, uninstalled once", [("this", True), ("this", True)], "this", False),
    ("the next version replaces this one", [("this", True), ("next", True)], "next", False),
    ("this version refuses to go over the next", [("next", True), ("this", False)], "next", False),
    ("the workbench's remembered inputs outlive the uninstallation", [("this", True)], "this", True),
]

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)
    return ok


def wine(args, out):
    """A Windows program under Wine; output to a file (a pipe costs seconds)."""
    with open(out, "wb") as sink:
        return subprocess.run([str(ROOT / "scripts" / "wine-run"), *args],
                              stdout=sink, stderr=subprocess.STDOUT).returncode


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def read_tables(msi, work):
    """Each table msidump writes, as a list of rows by column name."""
    dump = work / msi.stem
    dump.mkdir()
    # msidump writes binary columns below its working folder whatever -d says.
    subprocess.run(["msidump", "-d", str(dump), str(msi)], cwd=dump, check=True, capture_output=True)
    tables = {}
    # Text in the database's code page: UTF-8 since the workbench's shortcut got its name.
    forced = dump / "_ForceCodepage.idt"
    encoding = "utf-8" if forced.exists() and b"65001" in forced.read_bytes() else "latin-1"
    for idt in dump.glob("*.idt"):
        lines = idt.read_bytes().decode(encoding, errors="replace").split("\r\n")
        tables[idt.stem] = [dict(zip(lines[0].split("\t"), l.split("\t"))) for l in lines[3:] if l]
    return tables


def check_tables(msi, tables, payload):
    listed = subprocess.run(["msiinfo", "tables", str(msi)], capture_output=True, text=True).stdout.split()
    check({"File", "Shortcut", "Upgrade"} <= set(listed), f"{msi.name}: msiinfo lists {listed}")
    files = {r["FileName"].split("|")[-1]: r for r in tables["File"]}
    check({n: int(r["FileSize"]) for n, r in files.items()} == {n: len(b) for n, b in payload.items()},
          f"{msi.name}: File table {sorted(files)}, not the ZIP's files")
    bits = {r["Component"]: int(r["Attributes"]) & 0x100 for r in tables["Component"]}
    check(all(bits[r["Component_"]] for r in files.values()), f"{msi.name}: a file is not in a 64-bit component")
    props = {r["Property"]: r["Value"] for r in tables["Property"]}
    platform = {r["PropertyId"]: r["Value"] for r in tables["_SummaryInformation"]}.get("7", "")
    check(props.get("ALLUSERS") == "1" and platform.startswith("x64;"), f"{msi.name}: {platform}, ALLUSERS {props.get('ALLUSERS')}")
    program = f"[#{files['veltrano.exe']['File']}]"
    check(sorted((s["Directory_"], s["Name"], s["Target"], s["Arguments"]) for s in tables["Shortcut"])
          == sorted(("ProgramMenuFolder", name, program, arguments) for name, arguments in SHORTCUTS),
          f"{msi.name}: Start-menu shortcuts {tables['Shortcut']}")
    check(not tables.get("Registry") and not tables.get("RemoveRegistry"),
          f"{msi.name}: registry entries of its own {tables.get('Registry')} {tables.get('RemoveRegistry')}")
    code = props.get("UpgradeCode", "?").upper()
    check(tables["Upgrade"] and all(r["UpgradeCode"].upper() == code for r in tables["Upgrade"]),
          f"{msi.name}: Upgrade rows {tables['Upgrade']} for {code}")
    return props


def shortcut(data):
    """The target (link info), arguments and icon file (last string) of a shell link."""
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos = 0x4C + (2 + struct.unpack_from("<H", data, 0x4C)[0] if flags & 0x01 else 0)
    target = icon = None
    arguments = ""
    if flags & 0x02:
        size, _, info, _, base, _, suffix = struct.unpack_from("<7I", data, pos)
        if info & 0x01:
            text = lambda at: data[pos + at:data.index(b"\0", pos + at)].decode("latin-1")
            target = text(base) + text(suffix)
        pos += size
    width = 2 if flags & 0x80 else 1
    for bit in (0x04, 0x08, 0x10, 0x20, 0x40):  # name, relative path, folder, arguments, icon
        if flags & bit:
            count = struct.unpack_from("<H", data, pos)[0]
            raw = data[pos + 2:pos + 2 + count * width]
            icon = raw.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
            if bit == 0x20:
                arguments = icon
            pos += 2 + count * width
    return target, arguments, icon if flags & 0x40 else None


def in_prefix(drive_c, path):
    return drive_c / (path or "C:\\")[3:].replace("\\", "/")


def registry(key, out):
    """The subkeys of KEY, each a dict of its values (reg query /s)."""
    keys, current = {}, {}
    wine(["reg", "query", key, "/s"], out)
    for line in Path(out).read_text(errors="replace").splitlines():
        value = re.match(r"^    (.+?)    REG_\w+    ?(.*)$", line)
        if line.startswith("HKEY_"):
            current = keys.setdefault(line, {})
        elif value:
            current[value.group(1)] = value.group(2)
    return list(keys.values())


def squashed(guid):
    """A GUID as Windows Installer writes it in its registry keys."""
    h = guid.strip("{}").replace("-", "").upper()
    return h[7::-1] + h[11:7:-1] + h[15:11:-1] + "".join(h[i + 1] + h[i] for i in range(16, 32, 2))


def leftovers(drive_c, codes, work):
    """Every path under C:\\, and every registry line naming Veltrano or one of CODES."""
    paths = {os.path.relpath(os.path.join(d, n), drive_c) for d, dirs, names in os.walk(drive_c) for n in dirs + names}
    pattern = re.compile("|".join(["veltrano"] + [c.strip("{}") for c in codes] + [squashed(c) for c in codes]), re.I)
    lines = set()
    for hive in ("HKLM", "HKCU"):
        wine(["reg", "export", hive, windows_path(work / "hive.reg"), "/y"], work / "reg.txt")
        text = (work / "hive.reg").read_bytes().decode("utf-16", errors="replace")
        lines |= {line for line in text.splitlines() if pattern.search(line)}
    return paths, lines


def check_installed(case, drive_c, payload, version, publisher, build, work):
    folder = drive_c / "Program Files" / "Veltrano"
    found = {p.name: p.read_bytes() for p in folder.iterdir()} if folder.is_dir() else {}
    check(found == payload, f"{case}: Program Files\\Veltrano holds {sorted(found)}, not the ZIP's files")
    wine([str(build / "app" / "veltrano-cli.exe"), *EXAMPLE], work / "cli-build.txt")
    status = wine([str(folder / "veltrano-cli.exe"), *EXAMPLE], work / "cli-installed.txt")
    check(status == 0 and (work / "cli-installed.txt").read_bytes() == (work / "cli-build.txt").read_bytes(),
          f"{case}: the installed CLI (status {status}) does not print what the build tree's does")
    for name, wanted_arguments in SHORTCUTS:
        links = [p for p in drive_c.rglob(name + ".lnk") if "Start Menu" in str(p)]
        if check(len(links) == 1, f"{case}: Start-menu shortcuts {name}: {links}"):
            target, arguments, icon = shortcut(links[0].read_bytes())
            check(target == INSTALL_DIR + "veltrano.exe", f"{case}: the shortcut {name} points at {target}")
            check(arguments == wanted_arguments, f"{case}: the shortcut {name} passes {arguments!r}")
            check(in_prefix(drive_c, icon).is_file() and in_prefix(drive_c, icon).read_bytes() == ICON,
                  f"{case}: the shortcut {name}'s icon {icon} is not the program's")
    entries = [e for e in registry(UNINSTALL, work / "reg.txt") if e.get("DisplayName") == "Veltrano"]
    wanted = {"DisplayName": "Veltrano", "DisplayVersion": version, "Publisher": publisher,
              "HelpLink": INSTALL_DIR + "README.txt", "InstallLocation": INSTALL_DIR}
    check(len(entries) == 1 and wanted.items() <= entries[0].items(), f"{case}: uninstall entries {entries}, not one with {wanted}")
    icons = [in_prefix(drive_c, p.get("ProductIcon")) for p in registry(PRODUCTS, work / "reg.txt") if p.get("ProductName") == "Veltrano"]
    check(len(icons) == 1 and icons[0].is_file() and icons[0].read_bytes() == ICON, f"{case}: Apps & features icons {icons}")


def open_and_close_workbench(drive_c, work):
    """The installed program started as its workbench shortcut starts it, left
    until it has remembered its inputs, then asked to close (taskkill without
    /F posts WM_CLOSE). The values it has kept once closed, by name."""
    program = subprocess.Popen([str(ROOT / "scripts" / "wine-run"), str(drive_c / "Program Files" / "Veltrano" / "veltrano.exe"),
                                "--design"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    kept = []
    for _ in range(300):
        kept = registry(REMEMBERED, work / "reg.txt")
        if kept and "F" in kept[0]:
            break
        time.sleep(0.1)
    wine(["taskkill", "/IM", "veltrano.exe"], work / "taskkill.txt")
    try:
        check(program.wait(timeout=60) == 0, "the workbench did not close with status 0")
    except subprocess.TimeoutExpired:
        program.kill()
        check(False, "the workbench did not close when asked")
    kept = registry(REMEMBERED, work / "reg.txt")
    return kept[0] if kept else {}


def main():
    build = Path(sys.argv[1]).resolve()
    version = re.search(r"project\(veltrano VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)
    parts = version.split(".")
    versions = {"this": version, "next": ".".join(parts[:2] + [str(int(parts[2]) + 1)])}
    drive_c = Path(os.environ["VELTRANO_WINEPREFIX"]) / "drive_c"
    with zipfile.ZipFile(build / f"veltrano-{version}-win64.zip") as z:
        payload = {Path(n).name: z.read(n) for n in z.namelist() if not n.endswith("/")}
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        subprocess.run(["cpack", "-G", "External", "-D", f"CPACK_PACKAGE_VERSION={versions['next']}",
                        "-D", f"CPACK_PACKAGE_FILE_NAME=veltrano-{versions['next']}-win64", "-B", str(work / "next")],
                       cwd=build, check=True, capture_output=True)
        msi = {"this": build / f"veltrano-{version}-win64.msi",
               "next": work / "next" / f"veltrano-{versions['next']}-win64.msi"}
        props = {which: check_tables(path, read_tables(path, work), payload) for which, path in msi.items()}
        codes = [props["this"]["UpgradeCode"], props["this"]["ProductCode"], props["next"]["ProductCode"]]
        # The prefix as it was: the tests' own registrations may name the build tree.
        before = leftovers(drive_c, codes, work)
        seconds = None
        for case, installs, expected, workbench in CASES:
            print(f"msi: {case}", flush=True)
            for which, succeeds in installs:
                started = time.monotonic()
                status = wine(["msiexec", "/i", windows_path(msi[which]), "/qn"], work / "msiexec.txt")
                seconds = seconds or time.monotonic() - started
                check((status == 0) == succeeds, f"{case}: msiexec /i {msi[which].name} /qn: status {status}")
            check_installed(case, drive_c, payload, versions[expected], props["this"]["Manufacturer"], build, work)
            remembered = open_and_close_workbench(drive_c, work) if workbench else {}
            check(not workbench or remembered.get("F") == "100", f"{case}: the workbench remembered {remembered}")
            status = wine(["msiexec", "/x", windows_path(msi[expected]), "/qn"], work / "msiexec.txt")
            check(status == 0, f"{case}: msiexec /x {msi[expected].name} /qn: status {status}")
            if workbench:
                after = registry(REMEMBERED, work / "reg.txt")
                check(after and after[0] == remembered, f"{case}: after uninstalling, {REMEMBERED} holds {after}")
                wine(["reg", "delete", r"HKCU\Software\Veltrano", "/f"], work / "reg.txt")
            paths, lines = leftovers(drive_c, codes, work)
            # windows\Installer: Windows' own cache of installers, made at the first one.
            left = sorted(paths - before[0] - {os.path.join("windows", "Installer")}) + sorted(lines - before[1])
            check(not left, f"{case}: left after uninstalling: {left}")
    print(f"msi: {msi['this'].name}: {msi['this'].stat().st_size} bytes; first installation under Wine {seconds:.1f} s")
    print(f"msi: {len(failures)} checks FAILED" if failures else "msi: every check passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
