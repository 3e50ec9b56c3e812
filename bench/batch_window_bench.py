#!/usr/bin/env python3
"""The batch window's speed under Wine, beside smi2txt.exe -d on the same files and prefix:
300 feature-length subtitles (about 20 MB) converted to SubRip, and the list of 1,000 files
filled after a drop.

Usage: bench/batch_window_bench.py BUILD_DIR CORPUS_DIR   (BUILD_DIR: build/mingw-x86_64,
       with WINEPREFIX a prefix made by scripts/prepare-wine.sh)
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import drive_velmora as e2e  # noqa: E402

FILM = "ko_eternal_sunshine_first_half_film_utf8_comment_in_head.smi"  # 89 KB; half a film


def wait_summary(session, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if e2e.batch_control(session, e2e.BATCH_SUMMARY)["text"]:
            return time.monotonic()
        time.sleep(0.05)
    raise e2e.Failure("the batch did not end")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("corpus")
    arguments = parser.parse_args()
    build = os.path.abspath(arguments.build)
    options = argparse.Namespace(
        program=os.path.join(build, "shell", "velmora.exe"),
        probe=os.path.join(build, "tests", "e2e", "window_probe.exe"),
        smi2txt=os.path.join(build, "cli", "smi2txt.exe"),
        work=os.path.join(build, "bench-batch"), sample=None, utf16=None,
        corpus=os.path.abspath(arguments.corpus))
    session = e2e.Session(options, "batch")
    # A short folder, so that a drop of 1,000 names fits the probe's command line.
    folder = tempfile.mkdtemp(prefix="vb")
    film = os.path.join(options.corpus, FILM)
    subtitles = []
    for k in range(1000):
        subtitles.append(os.path.join(folder, f"{k:04}.smi"))
        os.link(film, subtitles[-1])
    first = subtitles[:300]
    megabytes = os.path.getsize(film) * 300 / 1e6
    out = os.path.join(session.folder, "cli")
    os.makedirs(out)
    started = time.monotonic()
    subprocess.run([e2e.WINE, options.smi2txt, "--format=srt", "-d", e2e.windows_path(out),
                    *map(e2e.windows_path, first)], env=session.env, check=True, timeout=600)
    cli_seconds = time.monotonic() - started
    try:
        session.start()
        e2e.drop(session, *first)
        fill_started = time.monotonic()
        session.wait_window(e2e.BATCH_TITLE, timeout=120)
        print(f"300 files listed: {time.monotonic() - fill_started:.2f} s", flush=True)
        e2e.choose_batch_type(session, 4)
        session.focus(e2e.BATCH_TITLE)
        started = time.monotonic()
        session.key("alt+c")
        batch_seconds = wait_summary(session, 600) - started
        print(f"{megabytes:.1f} MB in 300 files: smi2txt.exe -d {cli_seconds:.2f} s (with Wine's"
              f" start), batch window {batch_seconds:.2f} s ({batch_seconds / cli_seconds:.2f} x)",
              flush=True)
        session.key("Escape")
        session.wait_gone(e2e.BATCH_TITLE)
        # The list of 1,000: from the drop until the window shows them.
        started = time.monotonic()
        e2e.drop(session, *subtitles)
        session.wait_window(e2e.BATCH_TITLE, timeout=120)
        fill_seconds = time.monotonic() - started
    finally:
        session.stop()
        shutil.rmtree(options.work, ignore_errors=True)
        shutil.rmtree(folder, ignore_errors=True)
    print(f"1,000 files dropped and listed: {fill_seconds:.2f} s (with the drop's own start)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
