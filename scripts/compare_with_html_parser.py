#!/usr/bin/env python3
"""Compares the text smi2txt writes with the text Python's html.parser reads in the same files,
word by word, in both modes, and lists every word of the parser's text that smi2txt does not
write. What smi2txt removes on purpose is left out of the parser's text first: parameter blocks
(STYLE, SAMIParam, SCRIPT), in Sync Save whatever stands before the first SYNC tag, and what a
'<' that the parser reads as text opens up to the next '>' when neither white space nor a digit
follows it (smi2txt reads a tag there: «<-- note -->»). Exits 1 when a word is missing.

    python3 scripts/compare_with_html_parser.py build/native/cli/smi2txt FILE_OR_FOLDER...

With --old OLD_SMI2TXT it also counts the lines whose output changed between two builds."""

import argparse
import difflib
import html.parser
import os
import pathlib
import re
import subprocess
import sys

BLOCKS = {"style", "samiparam", "script"}
STAMP = re.compile(r"^\d{2,} :\d\d :\d\d  ")


class TextReader(html.parser.HTMLParser):
    """Collects the text of a subtitle as an HTML reader sees it."""

    def __init__(self, sync):
        super().__init__(convert_charrefs=True)
        self.sync = sync
        self.block = None
        self.in_subtitle = not sync
        self.pieces = []
        self.in_tag = False  # after a '<' the parser gave as text; None until its next byte

    def words(self):
        return "".join(self.pieces).replace("\xad", "").split()

    def handle_starttag(self, tag, attrs):
        self.in_tag = False
        if tag in ("br", "p", "sync"):
            self.pieces.append("\n")  # a word ends there; any other tag stands inside one
        if tag in ("sync", "body"):
            self.block = None
        if tag == "sync":
            self.in_subtitle = True
        if tag in BLOCKS and self.block is None:
            self.block = tag

    def handle_endtag(self, tag):
        self.in_tag = False
        if tag == "p":
            self.pieces.append("\n")
        if tag == self.block or tag == "head":
            self.block = None

    def handle_data(self, data):
        if data == "<":  # the parser gives a '<' it reads as text on its own
            self.in_tag = None
            return
        if self.in_tag is None:
            self.in_tag = data[:1] != "" and not data[:1].isspace() and not data[:1].isdigit()
            if not self.in_tag:
                data = "<" + data
        if self.in_tag:
            end = data.find(">")
            if end < 0:
                return
            data = data[end + 1 :]
            self.in_tag = False
        if self.block is None and self.in_subtitle:
            self.pieces.append(data)


def Decode(data):
    """The text of a file's bytes, and the codec that reads them."""
    if data[:2] in (b"\xff\xfe", b"\xfe\xff"):
        return data.decode("utf-16"), "utf-16"
    try:
        return data.decode("utf-8-sig"), "utf-8-sig"
    except UnicodeDecodeError:
        return data.decode("cp949", errors="replace"), "cp949"


def Convert(program, path, sync):
    arguments = [program] + (["--sync"] if sync else []) + [path]
    # The subtitle's own bytes, which Decode reads: any locale but a UTF-8 one keeps them.
    environment = dict(os.environ, LC_ALL="C")
    return subprocess.run(arguments, capture_output=True, check=False, env=environment).stdout


def Words(output, codec, sync):
    text = output.decode(codec, errors="replace") if output else ""
    if sync:
        text = "\n".join(STAMP.sub("", line) for line in text.splitlines())
    return text.split()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("files", nargs="+")
    parser.add_argument("--old")
    options = parser.parse_args()
    paths = []
    for name in options.files:
        folder = pathlib.Path(name)
        paths += sorted(map(str, folder.glob("*.s*mi"))) if folder.is_dir() else [name]
    lost_any = False
    for path in paths:
        data = open(path, "rb").read()
        text, codec = Decode(data)
        for sync in (False, True):
            reader = TextReader(sync)
            reader.feed(text.replace("\r\n", "\n"))
            reader.close()
            output = Convert(options.program, path, sync)
            ours = Words(output, codec, sync)
            theirs = reader.words()
            matcher = difflib.SequenceMatcher(None, theirs, ours, autojunk=False)
            lost = []
            for operation, i1, i2, j1, j2 in matcher.get_opcodes():
                if operation in ("delete", "replace"):
                    lost.append((" ".join(theirs[i1:i2]), " ".join(ours[j1:j2])))
            mode = "sync" if sync else "plain"
            name = path.rsplit("/", 1)[-1]
            report = f"{name} {mode}: {len(theirs)} words, {len(lost)} differences"
            if options.old:
                before = Convert(options.old, path, sync).splitlines()
                after = output.splitlines()
                changed = sum(
                    max(i2 - i1, j2 - j1)
                    for operation, i1, i2, j1, j2 in difflib.SequenceMatcher(
                        None, before, after, autojunk=False
                    ).get_opcodes()
                    if operation != "equal"
                )
                report += f", {changed} lines changed"
            print(report)
            for theirs, mine in lost[:8]:
                print(f"    html.parser {theirs[:70]!r}  smi2txt {mine[:70]!r}")
            lost_any = lost_any or bool(lost)
    return 1 if lost_any else 0


if __name__ == "__main__":
    sys.exit(main())
