#!/usr/bin/python3
"""The resources and imports of the Windows programs, read from the .exe files.

usage: check_resources.py ICON_FILE veltrano.exe veltrano-cli.exe

For each program: one icon group of exactly the eight images of ICON_FILE
(48, 32, 24 and 16 px, each in 256 colours and 32-bit), byte for byte; the
version 1.0.0.0 with the string table 080404b0 ("1.00", Chinese texts intact)
and the translation 0x0804, 1200; only system DLLs imported; the subsystem.
The window program also carries its manifest: per-monitor DPI awareness and
common controls 6. Prints one line per failed check; exit status 1 if any.
"""
import struct
import sys
from xml.etree import ElementTree

import pefile

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "msvcrt.dll",
               "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll"}
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def icon_file_images(path):
    """(width, bits) -> image bytes of a .ico file."""
    data = open(path, "rb").read()
    _, _, count = struct.unpack_from("<HHH", data, 0)
    images = {}
    for i in range(count):
        w, _, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images[(w or 256, bits)] = data[offset:offset + size]
    return images


def resources(pe, kind):
    """name or id -> data of every resource of one type."""
    out = {}
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in directory.entries if directory else []:
        if entry.id != kind:
            continue
        for named in entry.directory.entries:
            key = str(named.name) if named.name is not None else named.id
            for language in named.directory.entries:
                rva, size = language.data.struct.OffsetToData, language.data.struct.Size
                out[key] = (pe.get_data(rva, size), language.id)
    return out


def check_program(path, expected_images, window):
    name = path.rsplit("/", 1)[-1]
    pe = pefile.PE(path)

    # Icons: one group, the eight images of the icon file.
    groups = resources(pe, pefile.RESOURCE_TYPE["RT_GROUP_ICON"])
    icons = resources(pe, pefile.RESOURCE_TYPE["RT_ICON"])
    if check(len(groups) == 1, f"{name}: {len(groups)} icon groups, not 1"):
        group, _ = next(iter(groups.values()))
        _, _, count = struct.unpack_from("<HHH", group, 0)
        check(count == 8, f"{name}: the icon group has {count} images, not 8")
        seen = {}
        for i in range(count):
            w, _, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            image = icons.get(icon_id, (b"", 0))[0]
            seen[(w or 256, bits)] = image
            check(len(image) == size, f"{name}: icon {icon_id} is {len(image)} bytes, the group says {size}")
        check(set(seen) == set(expected_images),
              f"{name}: icon images {sorted(seen)} instead of {sorted(expected_images)}")
        for key, image in seen.items():
            check(expected_images.get(key) == image, f"{name}: the {key[0]} px {key[1]}-bit image differs from the .ico")

    # Version.
    check(hasattr(pe, "VS_FIXEDFILEINFO"), f"{name}: no version resource")
    if hasattr(pe, "VS_FIXEDFILEINFO"):
        fixed = pe.VS_FIXEDFILEINFO[0]
        for field in ("FileVersion", "ProductVersion"):
            ms, ls = getattr(fixed, field + "MS"), getattr(fixed, field + "LS")
            version = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
            check(version == (1, 0, 0, 0), f"{name}: {field} {version}, not 1.0.0.0")
        tables, translations = {}, []
        for info in pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                for table in info.StringTable:
                    tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
            elif info.Key == b"VarFileInfo":
                for var in info.Var:
                    # pefile gives "0x0804 0x04b0" for each language, code page pair
                    pairs = str(var.entry.get(b"Translation", "")).split()
                    translations += [(int(a, 16), int(b, 16)) for a, b in zip(pairs[::2], pairs[1::2])]
        check(list(tables) == ["080404b0"], f"{name}: string tables {list(tables)}, not 080404b0")
        strings = tables.get("080404b0", {})
        for field in ("FileVersion", "ProductVersion"):
            check(strings.get(field) == "1.00", f"{name}: {field} {strings.get(field)!r}, not '1.00'")
        check(strings.get("ProductName") == "Veltrano", f"{name}: ProductName {strings.get('ProductName')!r}")
        check("精馏" in strings.get("FileDescription", ""),
              f"{name}: FileDescription {strings.get('FileDescription')!r} lost its Chinese")
        check(translations == [(0x0804, 1200)], f"{name}: Translation {translations}, not [(0x804, 1200)]")

    # Imports: nothing to ship beside the .exe.
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    dlls = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    check(dlls <= SYSTEM_DLLS, f"{name}: imports {sorted(dlls - SYSTEM_DLLS)}, not system DLLs")

    subsystem = pe.OPTIONAL_HEADER.Subsystem
    want = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI" if window else "IMAGE_SUBSYSTEM_WINDOWS_CUI"]
    check(subsystem == want, f"{name}: subsystem {subsystem}, not {want}")

    manifests = resources(pe, pefile.RESOURCE_TYPE["RT_MANIFEST"])
    if window and check(1 in manifests, f"{name}: no manifest"):
        check_manifest(name, manifests[1][0])
    print(f"{name}: {len(icons)} icon images, imports {', '.join(sorted(dlls))}")


def check_manifest(name, data):
    """Windows ignores a setting in the wrong namespace and refuses to start
    a program whose manifest is not well-formed XML: read it as the loader does."""
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError as error:
        check(False, f"{name}: the manifest is not XML: {error}")
        return
    asm_v1, asm_v3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
    settings = f"{asm_v3}application/{asm_v3}windowsSettings/"
    aware = root.findtext(settings + "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")
    awareness = root.findtext(settings + "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness")
    check(aware == "true/pm", f"{name}: dpiAware {aware!r}, not per monitor")
    check(awareness is not None and awareness.split(",")[0].strip() == "PerMonitorV2",
          f"{name}: dpiAwareness {awareness!r}, not PerMonitorV2 first")
    controls = [a.attrib for a in root.iter(f"{asm_v1}assemblyIdentity")
                if a.get("name") == "Microsoft.Windows.Common-Controls"]
    check(len(controls) == 1 and controls[0].get("version") == "6.0.0.0"
          and controls[0].get("publicKeyToken") == "6595b64144ccf1df",
          f"{name}: common controls {controls}, not version 6")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    images = icon_file_images(sys.argv[1])
    check_program(sys.argv[2], images, window=True)
    check_program(sys.argv[3], images, window=False)
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
