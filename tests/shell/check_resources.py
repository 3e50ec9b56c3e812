#!/usr/bin/env python3
"""Reads the resources out of the built velmora.exe and checks them: identifiers, language,
menu, accelerators, strings, the About dialog's layout, the icons' sizes and colours, and the
manifest's visual styles, DPI awareness and supported systems.
The About box names the version literally; it must be the project's.

Usage: check_resources.py velmora.exe i686|x86_64 VERSION
"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

KOREAN = 1042
RT_ICON, RT_MENU, RT_DIALOG, RT_STRING, RT_ACCELERATOR, RT_GROUP_ICON = 3, 4, 5, 6, 9, 14
RT_MANIFEST = 24
WINDOWS_10 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
MACHINES = {"i686": 0x14C, "x86_64": 0x8664}

failures = []
version = None  # the project's, from the command line


def expect(what, actual, expected):
    if actual != expected:
        failures.append(f"{what}: {actual!r}, expected {expected!r}")


class Image:
    """The resource tree of a PE file: {type: {name: {language: bytes}}}."""

    def __init__(self, path):
        with open(path, "rb") as stream:
            self.data = stream.read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            sys.exit(f"{path}: not a PE file")
        self.machine, sections, _, _, _, optional_size = struct.unpack_from("<HHIIIH",
                                                                             self.data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", self.data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva = struct.unpack_from("<I", self.data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for index in range(sections):
            size, address, raw_size, raw_offset = struct.unpack_from("<IIII", self.data,
                                                                     table + 40 * index + 8)
            self.sections.append((address, max(size, raw_size), raw_offset))
        self.base = self.offset(self.resource_rva)
        self.tree = self.directory(0, 0)

    def offset(self, rva):
        for address, size, raw_offset in self.sections:
            if address <= rva < address + size:
                return rva - address + raw_offset
        sys.exit(f"address {rva:#x} is in no section")

    def directory(self, at, depth):
        named, numbered = struct.unpack_from("<HH", self.data, self.base + at + 12)
        entries = {}
        for index in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, self.base + at + 16 + 8 * index)
            key = self.unicode_name(name & 0x7FFFFFFF) if name & 0x80000000 else name
            if target & 0x80000000:
                entries[key] = self.directory(target & 0x7FFFFFFF, depth + 1)
            else:
                rva, size = struct.unpack_from("<II", self.data, self.base + target)
                start = self.offset(rva)
                entries[key] = self.data[start:start + size]
        return entries

    def unicode_name(self, at):
        length = struct.unpack_from("<H", self.data, self.base + at)[0]
        start = self.base + at + 2
        return self.data[start:start + 2 * length].decode("utf-16-le")


def read_text(data, at):
    """A zero-terminated UTF-16 text and the offset after it."""
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def read_id_or_text(data, at):
    """A dialog template's class, menu or title field: none, an ordinal or a text."""
    first = struct.unpack_from("<H", data, at)[0]
    if first == 0:
        return None, at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    return read_text(data, at)


def align(at):
    return (at + 3) & ~3


def menu_items(data, at):
    """The items of one pop-up level of a standard menu template, and the offset after it."""
    items = []
    while True:
        flags = struct.unpack_from("<H", data, at)[0]
        at += 2
        if flags & 0x10:  # MF_POPUP
            text, at = read_text(data, at)
            children, at = menu_items(data, at)
            items.append((text, children))
        else:
            command = struct.unpack_from("<H", data, at)[0]
            text, at = read_text(data, at + 2)
            items.append((text, command) if text or command else ("", "separator"))
        if flags & 0x80:  # MF_END
            return items, at


def check_languages(tree):
    for kind, names in tree.items():
        for name, languages in names.items():
            expect(f"languages of resource {kind}/{name}", list(languages), [KOREAN])


def check_menu(tree):
    data = tree[RT_MENU][109][KOREAN]
    expect("menu header", struct.unpack_from("<HH", data, 0), (0, 0))
    items, _ = menu_items(data, 4)
    expect("menu", items, [
        ("&File", [("&Open", 32771), ("&Save", 32772), ("S&ync Save", 32773),
                   ("Convert &Several...\tCtrl+B", 32774), ("", "separator"), ("E&xit", 105)]),
        ("&Help", [("&About ...", 104)]),
    ])


def check_accelerators(tree):
    data = tree[RT_ACCELERATOR][109][KOREAN]
    entries = [struct.unpack_from("<HHHH", data, at) for at in range(0, len(data), 8)]
    # Character accelerators with Alt (0x10, no FVIRTKEY), then Ctrl+B (FVIRTKEY 0x01 and
    # FCONTROL 0x08); the last row carries the end flag.
    expect("accelerators", entries,
           [(0x10, ord("?"), 104, 0), (0x10, ord("/"), 104, 0), (0x89, ord("B"), 32774, 0)])


def check_strings(tree):
    names = tree[RT_STRING]
    expect("string blocks", list(names), [103 // 16 + 1])
    data = names[103 // 16 + 1][KOREAN]
    strings = {}
    at = 0
    for index in range(16):
        length = struct.unpack_from("<H", data, at)[0]
        text = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        at += 2 + 2 * length
        if text:
            strings[(103 // 16) * 16 + index] = text
    # The Language menu's own texts: the menu is built when a bilingual subtitle is chosen.
    expect("strings", strings, {103: "Velmora", 109: "VELMORA", 110: "&Language", 102: "All &together", 111: "&All"})


def check_dialog(tree):
    expect("dialogs", sorted(tree[RT_DIALOG]), [103, 200])  # About, the batch window
    data = tree[RT_DIALOG][103][KOREAN]
    style, extended, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    DS_SETFONT, DS_MODALFRAME, WS_CAPTION, WS_SYSMENU = 0x40, 0x80, 0xC00000, 0x80000
    expect("dialog style", style, WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT)
    expect("dialog extended style", extended, 0)
    expect("dialog place", (x, y, cx, cy), (22, 17, 230, 75))
    menu, at = read_id_or_text(data, 18)
    window_class, at = read_id_or_text(data, at)
    title, at = read_text(data, at)
    expect("dialog menu and class", (menu, window_class), (None, None))
    expect("dialog caption", title, "About")
    points = struct.unpack_from("<H", data, at)[0]
    font, at = read_text(data, at + 2)
    expect("dialog font", (points, font), (8, "System"))
    WS_CHILD, WS_VISIBLE, WS_GROUP, WS_TABSTOP = 0x40000000, 0x10000000, 0x20000, 0x10000
    SS_LEFT, SS_NOPREFIX, BS_DEFPUSHBUTTON = 0, 0x80, 1
    static = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT
    expected = [
        (WS_CHILD | WS_VISIBLE | SS_NOPREFIX, (49, 10, 119, 8), 0xFFFF, 0x82,
         f"Velmora Version {version}"),
        (static, (49, 20, 93, 17), 0xFFFF, 0x82, "Velmora project"),
        (WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, (195, 6, 30, 11), 1,
         0x80, "OK"),
        (static, (48, 40, 117, 18), 0xFFFF, 0x82, "Source and issues: the Velmora repository"),
    ]
    controls = []
    for _ in range(count):
        at = align(at)
        style, extended, x, y, cx, cy, identifier = struct.unpack_from("<IIhhhhH", data, at)
        control_class, at = read_id_or_text(data, at + 18)
        text, at = read_id_or_text(data, at)
        extra = struct.unpack_from("<H", data, at)[0]
        at += 2 + extra
        controls.append((style, (x, y, cx, cy), identifier, control_class, text))
    expect("dialog controls", controls, expected)


def icon_images(tree, group):
    """(width, height, colours, planes, bits) per image of an icon group, read from both the
    group's directory and the image's own header."""
    data = tree[RT_GROUP_ICON][group][KOREAN]
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    expect(f"icon group {group} type", kind, 1)
    images = []
    for index in range(count):
        width, height, colours, _, planes, bits, _, image_id = struct.unpack_from(
            "<BBBBHHIH", data, 6 + 14 * index)
        image = tree[RT_ICON][image_id][KOREAN]
        size, dib_width, dib_height, dib_planes, dib_bits = struct.unpack_from("<IiiHH", image)
        expect(f"icon {image_id} header size", size, 40)
        expect(f"icon {image_id} size against its group", (dib_width, dib_height // 2),
               (width, height))
        expect(f"icon {image_id} bits against its group", (dib_planes, dib_bits), (planes, bits))
        images.append((width, height, colours, planes, bits))
    return images


def check_icons(tree):
    expect("icon groups", sorted(tree[RT_GROUP_ICON]), [107, 108])
    expect("ICON_LARGE images", icon_images(tree, 107), [(32, 32, 16, 1, 4), (16, 16, 16, 1, 4)])
    expect("ICON_SMALL images", icon_images(tree, 108), [(16, 16, 16, 1, 4)])


def check_manifest(tree):
    """The manifest the loader reads (id 1): Common Controls 6, per-monitor DPI awareness v2
    with system awareness before it, Windows 10 and 11."""
    expect("manifests", list(tree[RT_MANIFEST]), [1])
    root = ElementTree.fromstring(tree[RT_MANIFEST][1][KOREAN])

    def local(element):
        return element.tag.rpartition("}")[2]

    found = {local(element): element for element in root.iter()}
    controls = [element.attrib for element in root.iter()
                if local(element) == "assemblyIdentity"
                and element.get("name") == "Microsoft.Windows.Common-Controls"]
    expect("Common Controls dependency",
           [(entry.get("version"), entry.get("publicKeyToken")) for entry in controls],
           [("6.0.0.0", "6595b64144ccf1df")])
    expect("dpiAwareness", found["dpiAwareness"].text.strip(), "PerMonitorV2")
    expect("dpiAware", found["dpiAware"].text.strip(), "true")
    systems = [element.get("Id") for element in root.iter() if local(element) == "supportedOS"]
    expect("supportedOS", WINDOWS_10 in systems, True)


def main():
    global version
    if len(sys.argv) != 4 or sys.argv[2] not in MACHINES:
        sys.exit(__doc__)
    version = sys.argv[3]
    image = Image(sys.argv[1])
    expect("machine", image.machine, MACHINES[sys.argv[2]])
    tree = image.tree
    expect("resource types", sorted(tree),
           sorted([RT_ICON, RT_MENU, RT_DIALOG, RT_STRING, RT_ACCELERATOR, RT_GROUP_ICON,
                   RT_MANIFEST]))
    for check in (check_languages, check_menu, check_accelerators, check_strings,
                  check_dialog, check_icons, check_manifest):
        try:
            check(tree)
        except (KeyError, struct.error, ElementTree.ParseError) as missing:
            failures.append(f"{check.__name__}: missing {missing}")
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{len(failures)} resource problems" if failures else "resources as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
