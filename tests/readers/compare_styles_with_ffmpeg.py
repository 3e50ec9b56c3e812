#!/usr/bin/env python3
"""Compares the styles of smi2txt's SubRip with those of ffmpeg's SAMI reader, character by
character, on every real subtitle file.

ffmpeg reads each file (in its encoding, named as the file's name says) and writes SubRip; so
does smi2txt. Cues are matched by their start, the text of each pair of cues is aligned, and
each character that either styles (italic, bold, underline, a colour) is looked at in the
other's cue. Where the two differ, the difference is put down to the rule that decides it, read
in the subtitle's own text:

  crossed     tags that cross (<i><font>a</i>b</font>): a style lasts while its own tag is open,
              where ffmpeg closes the tags opened inside one that closes;
  paragraph   a P or </P> tag after the cue's first text ends every style;
  blanks      a color attribute with blanks around its '=', which HTML reads and ffmpeg does not;
  malformed   a closing tag whose name runs on (</FONT:...>), which HTML reads as another tag
              up to its '>';
  colour      another colour for the same value: HTML's rules read it;
  other       none of these: a fault.

Prints the count of each per file and in all, and exits 1 when any is "other".

usage: compare_styles_with_ffmpeg.py SMI2TXT CORPUS_DIR [--verbose]
"""
import difflib
import html
import os
import re
import subprocess
import sys

SMI2TXT, CORPUS = sys.argv[1:3]
VERBOSE = "--verbose" in sys.argv
TIME = re.compile(r"^(\d{2,}):(\d{2}):(\d{2}),(\d{3}) --> ")
TAG = re.compile(r"<(/?)([a-zA-Z]+)([^>]*)>")
COLOUR = re.compile(r'color="?#?([0-9a-fA-F]{6})"?')
# The encodings ffmpeg is told, by a part of the file's name; UTF-16 it finds by its mark.
ENCODINGS = {"cp949": "CP949", "euckr": "CP949", "breaking_bad": "CP949", "cp1252": "CP1252"}


def encoding_of(name):
    for part, encoding in ENCODINGS.items():
        if part in name:
            return encoding
    return None if "utf16" in name else "UTF-8"


def styled_characters(text):
    """The characters of a cue's text and the style each is in: (italic, bold, underline,
    colour or None)."""
    counts = {"i": 0, "b": 0, "u": 0}
    fonts = []
    characters = []
    position = 0
    for match in TAG.finditer(text + "<end>"):
        for c in html.unescape(text[position:match.start()]):
            colour = next((f for f in reversed(fonts) if f is not None), None)
            characters.append((c, (counts["i"] > 0, counts["b"] > 0, counts["u"] > 0, colour)))
        position = match.end()
        closing, name = match.group(1) == "/", match.group(2).lower()
        if name in counts:
            counts[name] = max(0, counts[name] + (-1 if closing else 1))
        elif name == "font" and closing:
            if fonts:
                fonts.pop()
        elif name == "font":
            found = COLOUR.search(match.group(3))
            fonts.append(found.group(1).lower() if found else None)
    return characters


def cues(srt):
    """{start ms: [(character, style)]} of a SubRip file's text; cues of one start are joined."""
    found = {}
    for block in srt.replace("\r\n", "\n").split("\n\n"):
        lines = block.split("\n")
        if len(lines) < 2:
            continue
        time = TIME.match(lines[1])
        if not time:
            continue
        h, m, s, ms = (int(g) for g in time.groups())
        start = ((h * 60 + m) * 60 + s) * 1000 + ms
        text = "\n".join(lines[2:])
        found.setdefault(start, []).extend(styled_characters(text) + [("\n", (False,) * 3 + (None,))])
    return found


def run(arguments):
    result = subprocess.run(arguments, capture_output=True, timeout=120)
    return result.returncode, result.stdout.decode("utf-8", "replace")


def crosses(raw_cue):
    """Whether a closing style tag of the cue ends one that is not the innermost open."""
    stack = []
    for closing, name in re.findall(r"<(/?)(i|b|u|em|strong|font)[\s>/]", raw_cue.lower()):
        if not closing:
            stack.append(name)
        elif name in stack:
            if stack[-1] != name:
                return True
            stack.pop()
    return False


def classify(raw_cue, their_style, our_style):
    """Which rule decides a difference, from the subtitle's own text around the cue."""
    lowered = raw_cue.lower()
    if their_style[3] and our_style[3] and their_style[3] != our_style[3]:
        return "colour"
    if crosses(raw_cue):
        return "crossed"
    first_text = re.search(r">[^<\s]", lowered[lowered.find("<p"):] if "<p" in lowered else lowered)
    if first_text and re.search(r"<p[\s>]|</p>", lowered[lowered.find("<p") + first_text.end():]):
        return "paragraph"
    if re.search(r"<font[^>]*color\s+=|<font[^>]*color=\s", lowered):
        return "blanks"
    if re.search(r"</(i|b|u|em|strong|font)[^\s>]", lowered):
        return "malformed"
    return "other"


def raw_cues(path, encoding):
    """{start ms: the subtitle's own text} for classifying differences."""
    data = open(path, "rb").read()
    text = data.decode("utf-16") if data[:2] in (b"\xff\xfe", b"\xfe\xff") else \
        data.decode(encoding or "utf-8", "replace")
    found = {}
    parts = re.split(r"(?i)<sync\s+start\s*=\s*\"?(\d+)", text)
    for k in range(1, len(parts) - 1, 2):
        found[int(parts[k])] = found.get(int(parts[k]), "") + parts[k + 1]
    return found


def compare(path):
    name = os.path.basename(path)
    encoding = encoding_of(name)
    ffmpeg = ["ffmpeg", "-nostdin", "-v", "quiet"]
    if encoding:
        ffmpeg += ["-sub_charenc", encoding]
    status, theirs = run(ffmpeg + ["-i", path, "-f", "srt", "-"])
    ours_status, ours = run([SMI2TXT, "--format=srt", path])
    counts = {"styled": 0, "the same": 0, "crossed": 0, "paragraph": 0, "blanks": 0,
              "malformed": 0, "colour": 0, "other": 0}
    if status != 0 or ours_status != 0:
        return counts
    their_cues, our_cues, raw = cues(theirs), cues(ours), raw_cues(path, encoding)
    plain = (False,) * 3 + (None,)
    for start in sorted(set(their_cues) | set(our_cues)):
        their_text, our_text = their_cues.get(start, []), our_cues.get(start, [])
        matcher = difflib.SequenceMatcher(None, "".join(c for c, _ in their_text),
                                          "".join(c for c, _ in our_text), autojunk=False)
        for block in matcher.get_matching_blocks():
            for k in range(block.size):
                c, their_style = their_text[block.a + k]
                our_style = our_text[block.b + k][1]
                if c.isspace() or (their_style == plain and our_style == plain):
                    continue
                counts["styled"] += 1
                if their_style == our_style:
                    counts["the same"] += 1
                    continue
                reason = classify(raw.get(start, ""), their_style, our_style)
                counts[reason] += 1
                if VERBOSE:
                    print(f"{name} {start} {reason}: {c!r} ffmpeg {their_style} ours "
                          f"{our_style}\n  {raw.get(start, '')[:200]!r}")
    return counts


def main():
    totals = {}
    files = sorted(f for f in os.listdir(CORPUS) if f.endswith((".smi", ".sami")))
    for file in files:
        counts = compare(os.path.join(CORPUS, file))
        if counts["styled"]:
            print(file + ": " + ", ".join(f"{value} {key}" for key, value in counts.items()))
        for key, value in counts.items():
            totals[key] = totals.get(key, 0) + value
    print("all: " + ", ".join(f"{value} {key}" for key, value in totals.items()))
    sys.exit(1 if totals.get("other") else 0)


main()
