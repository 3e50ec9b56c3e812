#!/usr/bin/env python3
"""smi2txt.exe under Wine with the names Windows users give it: letters outside the ANSI code
page, and wildcards, which Windows leaves to the program to expand.

Usage: check_smi2txt_names.py --program SMI2TXT.EXE --work DIR --sample FILE
"""
import argparse
import os
import shutil
import subprocess
import sys

WINE = "/usr/lib/wine/wine64"
UNICODE_NAME = "Amélie 千尋 (2001)"
SYNC_SAMPLE = (b"00 :00 :01  The storm came in before dark.\r\n"
               b"00 :00 :05  Keep the lamp burning, whatever happens.\r\n"
               b"00 :01 :05  Ships are counting on us.\r\n")

failures = []


def expect(what, actual, expected):
    if actual != expected:
        failures.append(f"{what}: {actual!r}, expected {expected!r}")


def run(options, folder, *arguments):
    env = dict(os.environ, WINEDEBUG="-all", LANG="ko_KR.UTF-8", LC_ALL="ko_KR.UTF-8")
    return subprocess.run([WINE, options.program, *arguments], cwd=folder, env=env,
                          capture_output=True, timeout=60)


def read(path):
    with open(path, "rb") as stream:
        return stream.read()


def unicode_name(options, folder):
    """A subtitle named outside the code page is read, to standard output and into a file of
    the same letters."""
    shutil.copyfile(options.sample, os.path.join(folder, UNICODE_NAME + ".smi"))
    result = run(options, folder, "--sync", UNICODE_NAME + ".smi")
    expect("Unicode input to standard output", (result.returncode, result.stdout),
           (0, SYNC_SAMPLE))
    result = run(options, folder, "--sync", UNICODE_NAME + ".smi", "-o", UNICODE_NAME + ".txt")
    expect("Unicode input into a Unicode output", result.returncode, 0)
    target = os.path.join(folder, UNICODE_NAME + ".txt")
    expect("Unicode output", read(target) if os.path.exists(target) else None, SYNC_SAMPLE)


def wildcards(options, folder):
    """*.smi takes the three subtitles of a folder, in sorted order, and nothing else; a
    pattern that matches nothing is an error that names it."""
    batch = os.path.join(folder, "batch")
    os.makedirs(os.path.join(batch, "folder.smi"))
    for name in ("c.smi", "A.smi", "b.smi"):
        shutil.copyfile(options.sample, os.path.join(batch, name))
    with open(os.path.join(batch, "notes.smil"), "wb") as stream:
        stream.write(b"not a subtitle")
    result = run(options, folder, "--classes", "batch\\*.smi")
    headers = [line for line in result.stdout.decode().splitlines() if line.endswith(":")]
    expect("inputs of batch\\*.smi", (result.returncode, headers),
           (0, ["batch\\A.smi:", "batch\\b.smi:", "batch\\c.smi:"]))
    result = run(options, batch, "--sync", "?.smi")
    expect("batch ?.smi", result.returncode, 0)
    expect("files after the batch", sorted(os.listdir(batch)),
           ["A.smi", "A.txt", "b.smi", "b.txt", "c.smi", "c.txt", "folder.smi", "notes.smil"])
    result = run(options, batch, "*.sami")
    expect("a pattern matching nothing", (result.returncode, result.stderr.decode().strip()),
           (1, "smi2txt: *.sami: no file matches this pattern"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--sample", required=True)
    options = parser.parse_args()
    folder = os.path.join(options.work, "smi2txt_names")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    unicode_name(options, folder)
    wildcards(options, folder)
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{len(failures)} problems" if failures else "names as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
