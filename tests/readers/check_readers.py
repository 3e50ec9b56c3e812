#!/usr/bin/env python3
"""Reads smi2txt's timed formats back with real readers, for every real subtitle file.

For each file that Sync Save converts: the SRT cues without styles are its lines (same number,
same words, the start second of each stamp) in order of their starts, and the styled SRT and
WebVTT are those bytes with style tags added; ffmpeg decodes the SRT and the WebVTT with no
error and finds each cue's start and duration; the W3C validator's WebVTT parser reports no
error; every JSON line parses, its keys in order.

usage: check_readers.py SMI2TXT CORPUS_DIR NODE_MODULES WORK_DIR
"""
import json
import os
import re
import subprocess
import sys

SMI2TXT, CORPUS, NODE_MODULES, WORK = sys.argv[1:5]
HERE = os.path.dirname(os.path.abspath(__file__))
TIME = re.compile(r"^(\d{2,}):(\d{2}):(\d{2})[,.](\d{3}) --> (\d{2,}):(\d{2}):(\d{2})[,.](\d{3})$")
STAMP = re.compile(rb"^(\d{2,}) :(\d{2}) :(\d{2})  (.*)$")
STYLE_TAG = re.compile(rb"</?[ibu]>|<font color=\"#[0-9a-f]{6}\">|</font>")
failures = []


def fail(name, what):
    failures.append(f"{name}: {what}")


def convert(path, *options):
    run = subprocess.run([SMI2TXT, *options, path], capture_output=True, timeout=60)
    return run.returncode, run.stdout, run.stderr


def sync_lines(output):
    """(start second, words) of each stamped line of UTF-8 Sync Save."""
    lines = []
    for line in output.split(b"\n"):
        line = line.rstrip(b"\r")
        if not line:
            continue
        match = STAMP.match(line)
        seconds = int(match.group(1)) * 3600 + int(match.group(2)) * 60 + int(match.group(3))
        lines.append((seconds, tuple(match.group(4).split())))
    return lines


def srt_cues(output):
    """(start ms, end ms, lines) of each cue."""
    cues = []
    for block in output.replace(b"\r\n", b"\n").split(b"\n\n"):
        if not block:
            continue
        lines = block.split(b"\n")
        times = TIME.match(lines[1].decode("ascii"))
        numbers = [int(g) for g in times.groups()]
        start = ((numbers[0] * 60 + numbers[1]) * 60 + numbers[2]) * 1000 + numbers[3]
        end = ((numbers[4] * 60 + numbers[5]) * 60 + numbers[6]) * 1000 + numbers[7]
        cues.append((start, end, lines[2:]))
    return cues


def ffmpeg_times(path, name):
    """The (start ms, duration ms) ffmpeg finds, after checking that it decodes with no error."""
    decode = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0",
                             "-c:s", "ass", "-f", "null", "-"], capture_output=True, timeout=120)
    if decode.returncode != 0 or decode.stderr.strip():
        fail(name, "ffmpeg: " + decode.stderr.decode("utf-8", "replace")[:300])
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                            "packet=pts_time,duration_time", "-of", "csv=p=0", path],
                           capture_output=True, timeout=120)
    if probe.returncode != 0:
        fail(name, "ffprobe: " + probe.stderr.decode("utf-8", "replace")[:300])
    times = set()
    for row in probe.stdout.decode().split():
        start, duration = row.split(",")[:2]
        times.add((round(float(start) * 1000), round(float(duration) * 1000)))
    return times


def check(path):
    name = os.path.basename(path)
    status, sync, _ = convert(path, "--sync", "-u")
    srt_status, srt, srt_error = convert(path, "--format=srt", "--no-styles")
    if status != 0:
        if srt_status == 0:
            fail(name, "SRT written where Sync Save fails")
        return
    if srt_status != 0:
        fail(name, "no SRT: " + srt_error.decode("utf-8", "replace"))
        return
    lines = sync_lines(sync)
    cues = srt_cues(srt)
    ours = sorted((start // 1000, tuple(b" ".join(text).split())) for start, _, text in cues)
    if ours != sorted(lines):
        fail(name, f"SRT cues ({len(cues)}) are not Sync Save's lines ({len(lines)})")
    if [c[0] for c in cues] != sorted(c[0] for c in cues):
        fail(name, "SRT cues out of order")
    if any(end <= start for start, end, _ in cues):
        fail(name, "a cue ends before it starts")
    expected = {(start, end - start) for start, end, _ in cues}
    try:
        srt.decode("utf-8")
    except UnicodeDecodeError:
        fail(name, "SRT that is not UTF-8")
        return

    stem = os.path.join(WORK, name)
    for option, extension in (("--format=srt", ".srt"), ("--format=vtt", ".vtt")):
        target = stem + extension
        if subprocess.run([SMI2TXT, option, path, "-o", target], timeout=60).returncode != 0:
            fail(name, f"{option} failed")
            continue
        plain = convert(path, option, "--no-styles")[1]
        if STYLE_TAG.sub(b"", open(target, "rb").read()) != plain:
            fail(name + extension, "the styled cues are not the plain ones with tags added")
        if ffmpeg_times(target, name + extension) != expected:
            fail(name + extension, "ffmpeg finds other starts or durations")
    validate = subprocess.run(["node", os.path.join(HERE, "validate_vtt.js"), stem + ".vtt"],
                              capture_output=True, timeout=60,
                              env=dict(os.environ, NODE_PATH=NODE_MODULES))
    if validate.returncode != 0:
        fail(name + ".vtt", "WebVTT validator: " + validate.stdout.decode()[:300] +
             validate.stderr.decode()[:300])

    status, jsonl, _ = convert(path, "--format=json")
    rows = 0
    for line in jsonl.split(b"\n")[:-1]:
        try:
            row = json.loads(line)
            if list(row) != ["start", "end", "class", "text"]:
                fail(name + ".jsonl", "keys out of order: " + repr(list(row)))
            rows += 1
        except ValueError as error:
            fail(name + ".jsonl", f"line {rows + 1}: {error}")
            break
    if status != 0 or jsonl and not jsonl.endswith(b"\n"):
        fail(name + ".jsonl", "not written whole")


os.makedirs(WORK, exist_ok=True)
if not os.path.isdir(os.path.join(NODE_MODULES, "webvtt-parser")):
    sys.exit(f"webvtt-parser is not installed in {NODE_MODULES}: run scripts/install-deps.sh")
files = sorted(f for f in os.listdir(CORPUS) if f.endswith((".smi", ".sami")))
for file in files:
    check(os.path.join(CORPUS, file))
for failure in failures:
    print(failure)
print(f"{len(files)} files, {len(failures)} failures")
sys.exit(1 if failures else 0)
