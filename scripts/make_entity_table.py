#!/usr/bin/env python3
"""Writes filter/html5_entities.inc: the named character references of HTML5, from the WHATWG
list Python carries (html.entities.html5), sorted by their bytes for ReadEntity's binary
search. Run once when the list changes: python3 scripts/make_entity_table.py"""

import html.entities
import pathlib

TARGET = pathlib.Path(__file__).resolve().parent.parent / "filter" / "html5_entities.inc"


def main():
    table = html.entities.html5
    legacy = {key for key in table if not key.endswith(";")}
    lines = [
        "// The named character references of HTML5, made by scripts/make_entity_table.py from",
        "// Python's html.entities.html5; do not edit. Sorted by the bytes of their names: name,",
        "// its characters (0 for none), and whether HTML also reads it without its ';'.",
    ]
    for key in sorted(k for k in table if k.endswith(";")):
        name = key[:-1]
        characters = [ord(c) for c in table[key]]
        assert len(characters) in (1, 2) and len(name) <= 31
        assert name not in legacy or table[name] == table[key]
        # What a name writes is never longer than «&name;», but for two of six bytes.
        assert len(table[key].encode()) <= len(key) + 2
        second = characters[1] if len(characters) == 2 else 0
        flag = "true" if name in legacy else "false"
        lines.append(f'{{"{name}", 0x{characters[0]:05X}, 0x{second:05X}, {flag}}},')
    TARGET.write_text("\n".join(lines) + "\n", encoding="ascii")


if __name__ == "__main__":
    main()
