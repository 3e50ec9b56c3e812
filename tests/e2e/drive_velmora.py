#!/usr/bin/env python3
"""Drives velmora.exe under Wine on its own virtual display, as a user would: the menu by
keyboard, typed paths in the real file dialogs, message boxes read back by caption and text.

Usage: drive_velmora.py SCENARIO --program EXE --probe EXE --work DIR --sample FILE
                        [--utf16 FILE] [--smi2txt EXE --corpus DIR]

Each scenario starts the program in a fresh folder and display, and on the way out kills the
display and every Wine process of the prefix, whatever happened.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"

PLAIN_SAMPLE = (b"\r\n\r\nThe Lighthouse Keeper\r\n\r\n\r\n\r\n\r\n"
                b"The storm came in before dark.\r\n \r\n\r\nKeep the lamp burning,\r\n"
                b"whatever happens.\r\n \r\n\r\nShips are counting on us.\r\n \r\n\r\n\r\n")
SYNC_SAMPLE = (b"00 :00 :01  The storm came in before dark.\r\n"
               b"00 :00 :05  Keep the lamp burning, whatever happens.\r\n"
               b"00 :01 :05  Ships are counting on us.\r\n")

ERROR_CAPTION = "오류"
CANNOT_OPEN_SUBTITLE = "자막 파일을 열 수 없습니다"
SAME_AS_SUBTITLE = "자막 파일과 같은 파일에는 저장할 수 없습니다"
CANNOT_CREATE_OUTPUT = "저장할 파일을 만들 수 없습니다"
PATH_TOO_LONG = "파일 경로가 너무 깁니다"
NO_SYNC_TAG = "이 파일에는 자막(SYNC)이 없습니다"
OPEN_DIALOG = "열기"
# What window_probe recognises; with no icon, the box's text covers the icon's place instead.
SYSTEM_ICONS = ("warning", "error", "information", "question")
SAVE_DIALOG = "다른 이름으로 저장"
# Wine's question before the save dialog replaces a file, and its buttons.
REPLACE_QUESTION = "파일을 교체하시겠습니까?"
IDYES, IDNO = 6, 7
UNICODE_NAME = "Amélie 千尋 (2001)"
# The save dialogs' type lists, and the control that holds them (cmb1).
SAVE_TYPES = ["Txt File (*.txt)", "UTF-8 Txt File (*.txt)"]
SYNC_SAVE_TYPES = SAVE_TYPES + ["SubRip (*.srt)", "WebVTT (*.vtt)"]
TYPE_LIST = 0x470
# What the Language items write, as smi2txt's options: the key of each item and its --class.
BILINGUAL = "bi_krcc_encc_two_p_per_sync_quoted_tiny.smi"
FILM = "bi_krcc_encc_transformers2009_full_film_sequential_blocks.smi"
# All together (t) merges every class, its title naming them joined by +.
LANGUAGES = [("a", None), ("1", "KRCC"), ("t", "KRCC+ENCC"), ("2", "ENCC")]


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def windows_path(path):
    """The path as the program sees it: Wine's Z: drive is the Linux root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Session:
    """One run of the program: its display, its process and its folder."""

    def __init__(self, options, name):
        self.options = options
        self.folder = os.path.join(options.work, name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.artifacts = os.path.join(options.work, "artifacts")
        os.makedirs(self.artifacts, exist_ok=True)
        self.env = dict(os.environ)
        self.env.setdefault("WINEDEBUG", "-all")
        self.env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
        self.env["LANG"] = self.env["LC_ALL"] = "ko_KR.UTF-8"
        check("WINEPREFIX" in self.env, "WINEPREFIX is not set")
        self.display = None
        self.program = None
        self.title = "Velmora"  # the main window's, as it should be now
        self.own_prefix = None  # a copy of the prefix made for this session alone

    # ---- start and stop ----
    def start(self, *arguments, keep_choices=False):
        if not keep_choices:
            forget_choices(self.env["WINEPREFIX"])
        read_end, write_end = os.pipe()
        self.display = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            check(chunk, "Xvfb did not start")
            number += chunk
        os.close(read_end)
        self.env["DISPLAY"] = ":" + number.decode().strip()
        # Wine now and then ends a program at start-up while the previous test's server is
        # still going away; that says nothing about the program, so it is started again.
        for attempt in range(3):
            self.program = subprocess.Popen([WINE, self.options.program, *arguments], env=self.env,
                                            cwd=self.folder, start_new_session=True,
                                            stdout=subprocess.DEVNULL,
                                            stderr=subprocess.DEVNULL)
            try:
                self.main = self.wait_window(self.title, timeout=60)
                break
            except Failure:
                if self.program.poll() is None or attempt == 2:
                    raise
                print(f"note: Wine ended the program at start-up (exit {self.program.returncode});"
                      " starting it again", file=sys.stderr)
                subprocess.run([WINESERVER, "-w"], env=self.env, timeout=30)
        self.focus_main()

    def stop(self):
        if self.program is not None and self.program.poll() is None:
            subprocess.run([WINESERVER, "-k"], env=self.env, timeout=30)
            try:
                self.program.wait(timeout=15)
            except subprocess.TimeoutExpired:
                os.killpg(self.program.pid, signal.SIGKILL)
                self.program.wait(timeout=15)
        subprocess.run([WINESERVER, "-k"], env=self.env, timeout=30,
                       stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=self.env, timeout=30)
        if self.own_prefix is not None:
            shutil.rmtree(self.own_prefix, ignore_errors=True)
        if self.display is not None:
            os.killpg(self.display.pid, signal.SIGTERM)
            self.display.wait(timeout=15)

    # ---- looking ----
    def probe(self):
        """Every visible top-level window of the display, with its controls."""
        # A file, not a pipe: Wine's helper processes started by the probe would hold a pipe
        # open long after the probe itself has ended.
        listing = os.path.join(self.options.work, "probe.txt")
        with open(listing, "wb") as stream:
            subprocess.run([WINE, self.options.probe], env=self.env, stdout=stream,
                           stderr=subprocess.DEVNULL, timeout=30)
        output = read(listing).decode("ascii", "replace")
        windows = []
        for line in output.splitlines():
            kind, *fields = line.split()
            record = {}
            for field in fields:
                key, _, value = field.partition("=")
                if key in ("class", "title", "text", "owner"):
                    value = bytes.fromhex(value).decode("utf-8", "replace")
                elif key == "items":
                    value = [bytes.fromhex(item).decode("utf-8", "replace")
                             for item in value.split(",")]
                elif key in ("rect", "client"):
                    value = [int(number) for number in value.split(",")]
                record[key] = value
            if kind == "W":
                record["controls"] = []
                windows.append(record)
            elif windows:
                windows[-1]["controls"].append(record)
        return windows

    def find_window(self, title):
        for window in self.probe():
            if window["title"] == title:
                return window
        return None

    def wait_window(self, title, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            window = self.find_window(title)
            if window is not None:
                return window
            check(self.program.poll() is None, f"the program ended while waiting for {title}")
            time.sleep(0.3)
        raise Failure(f"no window {title!r} appeared; windows: {self.titles()}")

    def wait_gone(self, title, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.find_window(title) is None:
                return
            time.sleep(0.3)
        raise Failure(f"the window {title!r} stayed open")

    def titles(self):
        return [window["title"] for window in self.probe()]

    def expect_only_main_window(self, settle=1.5):
        time.sleep(settle)
        titles = self.titles()
        check(titles == [self.title], f"expected only the main window, found {titles}")

    # ---- acting ----
    def xdotool(self, *arguments):
        subprocess.run(["xdotool", *arguments], env=self.env, check=True, timeout=30)

    def focus(self, title):
        self.xdotool("search", "--sync", "--name", f"^{title}$", "windowfocus", "--sync")
        time.sleep(0.3)

    def key(self, *keys):
        self.xdotool("key", "--delay", "80", *keys)

    def type_text(self, text):
        if text.isascii():
            self.xdotool("type", "--delay", "10", text)
            return
        # X types only what the keyboard map holds: other letters are pasted.
        subprocess.run([WINE, self.options.probe, "copy", text], env=self.env, check=True,
                       timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.key("ctrl+v")

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", str(x), str(y), "click", "1")

    def focus_main(self):
        # Any title the main window may have: "Velmora", "movie.smi - Velmora".
        self.xdotool("search", "--sync", "--name", "(^| - )Velmora$", "windowfocus", "--sync")
        time.sleep(0.3)

    def menu(self, *keys):
        self.focus_main()
        self.key(*keys)

    def choose_in_dialog(self, title, path=None):
        """Types a path over the name the file dialog titled title proposes, and accepts it;
        with no path, accepts the name proposed."""
        self.wait_window(title)
        self.focus(title)
        if path is not None:
            self.key("End", "shift+Home")
            self.type_text(path)
        self.key("Return")
        self.wait_gone(title)

    def choose_type(self, index):
        """Chooses the save dialog's type at index (from 1) by keyboard, as a user does, and
        goes back to the name."""
        self.wait_window(SAVE_DIALOG)
        self.focus(SAVE_DIALOG)
        self.key("alt+t", "Home", *["Down"] * (index - 1))
        self.key("alt+n")

    def file_types(self):
        """The save dialog's type shown, and every type its list offers."""
        dialog = self.wait_window(SAVE_DIALOG)
        types = next(control for control in dialog["controls"]
                     if control["class"] == "ComboBox" and int(control["id"]) == TYPE_LIST)
        return types["text"], types.get("items", [])

    def choose_language(self, key, name):
        """A Language item by its key (Alt+L, then the digit or A); the title then names its
        class, or none for All."""
        self.menu("alt+l", key)
        subtitle = self.title[:-len(" - Velmora")].split(" [")[0]
        self.expect_title(subtitle + (f" [{name}]" if name else ""))

    def proposed_name(self, title):
        """The file name a file dialog proposes."""
        dialog = self.wait_window(title)
        names = [control["text"] for control in dialog["controls"]
                 if control["class"] == "Edit" and control["visible"] == "1"]
        check(len(names) == 1, f"the dialog has the names {names}")
        return names[0]

    def wait_replace_prompt(self):
        """The save dialog's question before it replaces a file, found by its text: Wine
        captions it like the program's error boxes."""
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            for window in self.probe():
                texts = [control["text"] for control in window["controls"]]
                if any(REPLACE_QUESTION in text for text in texts):
                    return window
            time.sleep(0.3)
        raise Failure(f"no question before replacing a file; windows: {self.titles()}")

    def answer_replace(self, replace):
        """Answers the save dialog's question with Yes (replace) or No."""
        prompt = self.wait_replace_prompt()
        time.sleep(0.3)
        wanted = IDYES if replace else IDNO
        button = next(control for control in prompt["controls"]
                      if control["class"] == "Button" and int(control["id"]) == wanted)
        left, top, right, bottom = button["rect"]
        self.click((left + right) // 2, (top + bottom) // 2)
        deadline = time.monotonic() + 20
        while any(REPLACE_QUESTION in control["text"] for window in self.probe()
                  for control in window["controls"]):
            check(time.monotonic() < deadline, "the question stayed open")
            time.sleep(0.3)

    def expect_title(self, subtitle_name):
        """The main window names the chosen subtitle: "movie.smi - Velmora"."""
        self.title = f"{subtitle_name} - Velmora"
        self.main = self.wait_window(self.title)

    def read_box(self, caption):
        """A message box's text, icon, owner and buttons; then closes it with Enter."""
        self.wait_window(caption)
        time.sleep(0.5)  # let it paint before its icon is compared
        box = self.wait_window(caption)
        texts = [control["text"] for control in box["controls"]
                 if control["class"] == "Static" and control["text"]]
        icons = [control.get("icon") for control in box["controls"] if "icon" in control]
        buttons = [control["text"] for control in box["controls"]
                   if control["class"] == "Button"]
        self.focus(caption)
        self.key("Return")
        self.wait_gone(caption)
        return {"texts": texts, "icon": icons[0] if icons else "none",
                "owner": box["owner"], "buttons": buttons}

    def expect_error(self, text):
        box = self.read_box(ERROR_CAPTION)
        check(box["texts"] == [text], f"error box says {box['texts']}, expected {text!r}")
        check(box["icon"] == "warning", f"error box shows the {box['icon']} icon")
        check(box["owner"] == "VELMORA", f"error box owned by {box['owner']!r}")
        check(len(box["buttons"]) == 1, f"error box has buttons {box['buttons']}")

    def open_subtitle(self, path):
        self.menu("alt+f", "o")
        self.choose_in_dialog(OPEN_DIALOG, windows_path(path))
        self.expect_open_box(os.path.basename(path))

    def expect_open_box(self, subtitle_name):
        box = self.read_box("파일입력")
        check(box["texts"] == ["파일 Open 성공"], f"Open box says {box['texts']}")
        check(box["owner"] == "VELMORA", f"Open box owned by {box['owner']!r}")
        check(box["icon"] not in SYSTEM_ICONS, f"Open box shows the {box['icon']} icon")
        self.expect_title(subtitle_name)

    def save(self, keys, path, replace=None, file_type=None):
        """Save (alt+f s) or Sync Save (alt+f y) into path, typed as given (None: the name
        proposed), of the type at file_type (from 1; None: the one the dialog shows); replace
        answers the question an existing file brings."""
        self.menu("alt+f", keys)
        if file_type is not None:
            self.choose_type(file_type)
        if replace is None:
            self.choose_in_dialog(SAVE_DIALOG, path)
            return
        self.wait_window(SAVE_DIALOG)
        self.focus(SAVE_DIALOG)
        self.key("End", "shift+Home")
        self.type_text(path)
        self.key("Return")
        self.answer_replace(replace)
        if replace:
            self.wait_gone(SAVE_DIALOG)

    def expect_convert_ok(self, text="Convert OK"):
        box = self.read_box("Convert OK")
        check(box["texts"] == [text], f"Convert box says {box['texts']}")
        check(box["owner"] == "VELMORA", f"Convert box owned by {box['owner']!r}")
        check(box["icon"] not in SYSTEM_ICONS, f"Convert box shows the {box['icon']} icon")

    def copy_sample(self, name="in.smi"):
        target = os.path.join(self.folder, name)
        shutil.copyfile(self.options.sample, target)
        return target

    def expect_files(self, *names):
        found = sorted(os.listdir(self.folder))
        check(found == sorted(names), f"folder holds {found}, expected {sorted(names)}")

    def expect_exit(self, timeout=20):
        try:
            code = self.program.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end")
        check(code == 0, f"the program ended with code {code}")


def forget_choices(prefix):
    """Takes the program's remembered choices out of the prefix's user registry, so that no
    scenario depends on another; the Wine server is not running between scenarios."""
    registry = os.path.join(prefix, "user.reg")
    if not os.path.exists(registry):
        return
    lines = read(registry).decode("utf-8", "surrogateescape").split("\n")
    kept, skipping = [], False
    for line in lines:
        if line.startswith("["):
            skipping = line.lower().startswith("[software\\\\velmora")
        if not skipping:
            kept.append(line)
    if len(kept) != len(lines):
        with open(registry, "wb") as stream:
            stream.write("\n".join(kept).encode("utf-8", "surrogateescape"))


def read(path):
    with open(path, "rb") as stream:
        return stream.read()


def smi2txt(session, subtitle, *options):
    """What smi2txt.exe writes into a file for subtitle with options, run in the same prefix."""
    output = os.path.join(session.options.work, "smi2txt-output")
    if os.path.exists(output):
        os.remove(output)
    result = subprocess.run([WINE, session.options.smi2txt, *options, windows_path(subtitle),
                             "-o", windows_path(output)], env=session.env, capture_output=True,
                            timeout=120)
    check(result.returncode == 0, f"smi2txt.exe {options} failed: {result.stderr!r}")
    return read(output)


def corpus_file(session, name, as_name):
    """A real subtitle of the corpus, copied into the session's folder as as_name."""
    check(session.options.corpus is not None, "no corpus folder given")
    target = os.path.join(session.folder, as_name)
    shutil.copyfile(os.path.join(session.options.corpus, name), target)
    return target


def expect_bytes(path, expected):
    check(os.path.exists(path), f"{path} was not written")
    actual = read(path)
    check(actual == expected, f"{os.path.basename(path)} holds {actual!r}, expected {expected!r}")


# ---- scenarios ----
def screenshot(session, window, name):
    """Saves the screen area of a window as an artifact and returns its path."""
    shot = os.path.join(session.artifacts, name)
    left, top, right, bottom = window["rect"]
    subprocess.run(["import", "-display", session.env["DISPLAY"], "-window", "root", "-crop",
                    f"{right - left}x{bottom - top}+{left}+{top}", "+repage", shot],
                   check=True, timeout=30)
    return shot


def paint(session):
    """The four painted lines are there, each in its band, with background between them."""
    shot = screenshot(session, session.main, "velmora-window.png")
    left, top, right, bottom = session.main["rect"]
    x, y = session.main["client"][0] - left, session.main["client"][1] - top
    width = session.main["client"][2]
    rows = subprocess.run(["convert", shot, "-colorspace", "gray", "-depth", "8", "gray:-"],
                          check=True, capture_output=True, timeout=30).stdout
    image_width = right - left

    def dark_pixels(first_row, last_row):
        return sum(1 for row in range(y + first_row, y + last_row)
                   for column in range(x + 10, x + width)
                   if rows[row * image_width + column] < 128)

    for band in ((10, 26), (30, 46), (60, 76), (85, 101)):
        check(dark_pixels(*band) > 100, f"nothing painted in the band {band}")
    for gap in ((0, 9), (110, 150)):
        check(dark_pixels(*gap) == 0, f"pixels painted outside the lines, in {gap}")


def use_scaled_prefix(session, dpi):
    """Runs the session in a copy of the prefix whose screen has dpi (Wine's LogPixels), so the
    shared prefix keeps 96."""
    prefix = os.path.join(session.options.work, f"prefix-{dpi}")
    shutil.rmtree(prefix, ignore_errors=True)
    subprocess.run(["cp", "-a", session.env["WINEPREFIX"], prefix], check=True, timeout=120)
    session.env["WINEPREFIX"] = session.own_prefix = prefix
    for key in (r"HKCU\Control Panel\Desktop", r"HKCU\Software\Wine\Fonts",
                r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts"):
        subprocess.run([WINE, "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                        str(dpi), "/f"], env=session.env, check=True, timeout=120,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-w"], env=session.env, timeout=60)


def dark_rows(session, name):
    """A screenshot of the main window, saved as name, and for each row of its client area the
    columns of its dark pixels."""
    shot = screenshot(session, session.main, name)
    left, top, right, bottom = session.main["rect"]
    x, y = session.main["client"][0] - left, session.main["client"][1] - top
    width, height = session.main["client"][2], session.main["client"][3]
    pixels = subprocess.run(["convert", shot, "-colorspace", "gray", "-depth", "8", "gray:-"],
                            check=True, capture_output=True, timeout=30).stdout
    image_width = right - left
    return [[column for column in range(width)
             if pixels[(y + row) * image_width + x + column] < 128] for row in range(height)]


def scaled_200(session):
    """At 192 DPI the window, the lines' places and their font are twice the 96-DPI figures:
    four lines, each below the last, none cut at the right."""
    expect_twice_the_size(session, "velmora-window-200.png")


def dpi_changed(session):
    """Moved to a monitor of 192 DPI, the window takes the size the system proposes and draws
    its lines at the new scale."""
    subprocess.run([WINE, session.options.probe, "dpi", "192"], env=session.env, check=True,
                   timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    session.main = session.wait_window(session.title)
    expect_twice_the_size(session, "velmora-dpi-changed.png")


def expect_twice_the_size(session, shot_name):
    check(session.main["rect"][2] - session.main["rect"][0] == 600
          and session.main["rect"][3] - session.main["rect"][1] == 400,
          f"the window is {session.main['rect']}, not 600 x 400")
    rows = dark_rows(session, shot_name)
    runs = []
    for row, columns in enumerate(rows):
        if columns and runs and runs[-1][1] == row - 1:
            runs[-1][1] = row
        elif columns:
            runs.append([row, row])
    starts = [2 * 10, 2 * 30, 2 * 60, 2 * 85]
    check(len(runs) == 4, f"expected four lines of text, found rows {runs}")
    for (first, last), start, following in zip(runs, starts, starts[1:] + [len(rows)]):
        check(start <= first and last < following,
              f"a line drawn in rows {first}..{last} leaves its place from row {start}")
    width = session.main["client"][2]
    rightmost = max(max(columns) for columns in rows if columns)
    check(rightmost < width - 4, f"text reaches column {rightmost} of {width}: cut at the right")
    glyph_height = min(last - first + 1 for first, last in runs)
    check(glyph_height >= 20, f"lines only {glyph_height} pixels high: the font is not scaled")


def open_chosen(session):
    session.open_subtitle(session.copy_sample())
    session.expect_only_main_window()


def open_cancelled(session):
    """Open lists subtitles of both extensions first; cancelled, it chooses nothing."""
    session.menu("alt+f", "o")
    dialog = session.wait_window(OPEN_DIALOG)
    lists = [control["text"] for control in dialog["controls"]
             if control["class"] == "ComboBox" and control["visible"] == "1"]
    check("자막 파일 (*.smi;*.sami)" in lists, f"the Open dialog's lists show {lists}")
    session.focus(OPEN_DIALOG)
    session.key("Escape")
    session.wait_gone(OPEN_DIALOG)
    session.expect_only_main_window()
    # Nothing was chosen, so a save has no subtitle to read.
    session.menu("alt+f", "s")
    session.expect_error(CANNOT_OPEN_SUBTITLE)


def save_and_sync_save(session):
    """Both saves convert the subtitle Open chose; a name without extension gets .txt."""
    subtitle = session.copy_sample()
    session.open_subtitle(subtitle)
    session.save("s", windows_path(os.path.join(session.folder, "plain")))
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, "plain.txt"), PLAIN_SAMPLE)
    session.save("y", windows_path(os.path.join(session.folder, "sync.txt")))
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, "sync.txt"), SYNC_SAMPLE)
    expect_bytes(subtitle, read(session.options.sample))
    session.expect_files("in.smi", "plain.txt", "sync.txt")


def save_types(session):
    """Each dialog lists its types and opens on the one last chosen in it; the proposed name
    takes that type's extension, a typed name without one gets it, and the replace prompt asks
    about that name."""
    subtitle = session.copy_sample()
    session.open_subtitle(subtitle)
    session.menu("alt+f", "s")
    check(session.file_types() == (SAVE_TYPES[0], SAVE_TYPES),
          f"Save's dialog offers {session.file_types()}")
    session.choose_type(2)
    session.choose_in_dialog(SAVE_DIALOG, windows_path(os.path.join(session.folder, "plain")))
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, "plain.txt"), smi2txt(session, subtitle, "-u"))

    session.menu("alt+f", "y")
    check(session.file_types() == (SYNC_SAVE_TYPES[0], SYNC_SAVE_TYPES),
          f"Sync Save's dialog offers {session.file_types()}")
    session.choose_type(4)
    check(session.proposed_name(SAVE_DIALOG) == "in.vtt",
          f"WebVTT chosen, the dialog proposes {session.proposed_name(SAVE_DIALOG)!r}")
    session.choose_in_dialog(SAVE_DIALOG)
    session.expect_convert_ok()
    web_vtt = smi2txt(session, subtitle, "--format=vtt")
    expect_bytes(os.path.join(session.folder, "in.vtt"), web_vtt)

    session.menu("alt+f", "s")
    check(session.file_types()[0] == SAVE_TYPES[1], f"Save reopens on {session.file_types()}")
    session.key("Escape")
    session.wait_gone(SAVE_DIALOG)
    session.menu("alt+f", "y")
    check(session.file_types()[0] == SYNC_SAVE_TYPES[3],
          f"Sync Save reopens on {session.file_types()}")
    check(session.proposed_name(SAVE_DIALOG) == "in.vtt", "Sync Save does not propose in.vtt")
    session.focus(SAVE_DIALOG)
    session.key("End", "shift+Home")
    session.type_text("in")
    session.key("Return")
    session.answer_replace(False)  # in.vtt exists
    session.focus(SAVE_DIALOG)
    session.key("Escape")
    session.wait_gone(SAVE_DIALOG)
    expect_bytes(os.path.join(session.folder, "in.vtt"), web_vtt)
    session.expect_files("in.smi", "plain.txt", "in.vtt")


def type_over_name(session):
    """The proposed name is selected when the dialog opens and after a change of type: what
    the user types replaces it."""
    subtitle = session.copy_sample()
    session.open_subtitle(subtitle)
    session.menu("alt+f", "s")
    session.wait_window(SAVE_DIALOG)
    session.focus(SAVE_DIALOG)
    session.type_text("typed")
    session.key("Return")
    session.wait_gone(SAVE_DIALOG)
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, "typed.txt"), PLAIN_SAMPLE)
    session.menu("alt+f", "y")
    session.choose_type(3)
    session.type_text("over")
    session.key("Return")
    session.wait_gone(SAVE_DIALOG)
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, "over.srt"),
                 smi2txt(session, subtitle, "--format=srt"))
    session.expect_files("in.smi", "typed.txt", "over.srt")


def bilingual_timed(session, name, saves):
    """A bilingual subtitle Sync Saved with each language and All, each file smi2txt.exe's.
    saves: (file type to choose or None, the name to type, the smi2txt format option)."""
    subtitle = corpus_file(session, name, "bi.smi")
    session.open_subtitle(subtitle)
    for file_type, typed, option in saves:
        for key, chosen_class in LANGUAGES:
            session.choose_language(key, chosen_class)
            target = typed.replace("LANG", key)
            session.save("y", windows_path(os.path.join(session.folder, target)),
                         file_type=file_type)
            file_type = None  # the dialog now opens on it
            session.expect_convert_ok()
            if "." not in target:
                target += "." + option[-3:]
            chosen = ["--merge-classes"] if chosen_class and "+" in chosen_class else \
                ["--class", chosen_class] if chosen_class else []
            expected = smi2txt(session, subtitle, option, *chosen)
            expect_bytes(os.path.join(session.folder, target), expected)


def bilingual_tiny(session):
    """SubRip and WebVTT chosen in the list, names typed without extension."""
    bilingual_timed(session, BILINGUAL, [(3, "tiny_LANG", "--format=srt"),
                                         (4, "tiny_LANG", "--format=vtt")])


def bilingual_film(session):
    """A name typed .srt or .VTT writes that format while Txt File is chosen; a film whose
    languages come one after the other; Save keeps the class chosen too."""
    bilingual_timed(session, FILM, [(None, "film_LANG.srt", "--format=srt"),
                                    (None, "film_LANG.VTT", "--format=vtt")])
    session.save("s", windows_path(os.path.join(session.folder, "film.txt")))
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, "film.txt"),
                 smi2txt(session, os.path.join(session.folder, "bi.smi"), "--class", "ENCC"))


def language_menu(session):
    """A subtitle given at start has its Language menu; a dropped one of one class has none and
    keeps every class; one chosen by Open gets the menu anew, with All chosen."""
    bilingual = os.path.join(session.folder, "bi.smi")
    session.choose_language("1", "KRCC")
    session.menu("alt+l")
    menu = None
    deadline = time.monotonic() + 20
    while menu is None and time.monotonic() < deadline:
        time.sleep(0.3)
        menu = next((window for window in session.probe() if window["class"] == "#32768"),
                    None)
    check(menu is not None, "no Language menu opened")
    time.sleep(0.5)
    main = session.main["rect"]
    screenshot(session, {"rect": [min(main[0], menu["rect"][0]), min(main[1], menu["rect"][1]),
                                  max(main[2], menu["rect"][2]), max(main[3], menu["rect"][3])]},
               "velmora-language-menu.png")
    session.key("Escape", "Escape")

    single = session.copy_sample("single.smi")
    subprocess.run([WINE, session.options.probe, "drop", windows_path(single)], env=session.env,
                   check=True, timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.expect_open_box("single.smi")
    session.menu("alt+l", "2")  # no menu to choose from
    session.expect_only_main_window()
    session.save("y", windows_path(os.path.join(session.folder, "single.txt")))
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, "single.txt"), SYNC_SAMPLE)

    session.open_subtitle(bilingual)
    session.save("y", windows_path(os.path.join(session.folder, "all.txt")))
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, "all.txt"), smi2txt(session, bilingual, "--sync"))
    session.choose_language("2", "ENCC")


def utf8_text(session):
    """UTF-8 Txt File of a CP949 subtitle is smi2txt.exe -u's; bytes CP949 lacks become U+FFFD,
    and the Convert OK box says how many."""
    subtitle = corpus_file(session, "ko_breaking_bad_s01e01_cp949_double_body.smi", "ko.smi")
    session.open_subtitle(subtitle)
    session.save("s", windows_path(os.path.join(session.folder, "ko")), file_type=2)
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, "ko.txt"), smi2txt(session, subtitle, "-u"))

    broken = os.path.join(session.folder, "broken.smi")
    with open(broken, "wb") as stream:
        stream.write(b"<SAMI><BODY>\r\n<SYNC Start=1000><P>\xb0\xa1\xff\xff\xb3\xaa\r\n"
                     b"</BODY></SAMI>\r\n")
    session.open_subtitle(broken)
    session.save("y", windows_path(os.path.join(session.folder, "broken")), file_type=2)
    session.expect_convert_ok("Convert OK\n\nCP949에 없는 바이트 2개를 U+FFFD로 바꿨습니다")
    expect_bytes(os.path.join(session.folder, "broken.txt"),
                 smi2txt(session, broken, "-u", "--sync"))


def save_replaces(session):
    """Saving over a file asks first: No keeps it untouched, Yes replaces it, and no temporary
    file stays."""
    session.open_subtitle(session.copy_sample())
    target = os.path.join(session.folder, "내 메모.txt")
    older = b"older and much longer text than the new one will be" * 20
    with open(target, "wb") as stream:
        stream.write(older)
    session.save("y", windows_path(target), replace=False)
    session.wait_window(SAVE_DIALOG)  # back in the dialog, to choose another name
    session.focus(SAVE_DIALOG)
    session.key("Escape")
    session.wait_gone(SAVE_DIALOG)
    session.expect_only_main_window()
    expect_bytes(target, older)
    session.save("y", windows_path(target), replace=True)
    session.expect_convert_ok()
    expect_bytes(target, SYNC_SAMPLE)
    session.expect_files("in.smi", "내 메모.txt")


def unicode_names(session):
    """A subtitle named outside the ANSI code page is opened, named in the title, proposed as
    the text file's name, and converted into names of the same letters."""
    subtitle = os.path.join(session.folder, UNICODE_NAME + ".smi")
    shutil.copyfile(session.options.sample, subtitle)
    session.open_subtitle(subtitle)
    session.menu("alt+f", "s")
    proposed = session.proposed_name(SAVE_DIALOG)
    check(proposed == UNICODE_NAME + ".txt", f"the save dialog proposes {proposed!r}")
    session.choose_in_dialog(SAVE_DIALOG)
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, UNICODE_NAME + ".txt"), PLAIN_SAMPLE)
    session.save("y", windows_path(os.path.join(session.folder, UNICODE_NAME + " sync")))
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, UNICODE_NAME + " sync.txt"), SYNC_SAMPLE)
    session.expect_files(UNICODE_NAME + ".smi", UNICODE_NAME + ".txt",
                         UNICODE_NAME + " sync.txt")


def open_missing(session):
    """Open refuses a name that does not exist: the dialog says so and stays; nothing is
    chosen."""
    session.menu("alt+f", "o")
    session.wait_window(OPEN_DIALOG)
    session.focus(OPEN_DIALOG)
    session.type_text(windows_path(os.path.join(session.folder, "missing.smi")))
    session.key("Return")
    time.sleep(1.5)
    titles = session.titles()
    check(OPEN_DIALOG in titles and "파일입력" not in titles,
          f"a missing file was taken: windows {titles}")
    check(len(titles) == 3, f"the dialog did not refuse the name: windows {titles}")
    session.key("Return")  # the dialog's own refusal
    time.sleep(0.5)
    session.focus(OPEN_DIALOG)
    session.key("Escape")
    session.wait_gone(OPEN_DIALOG)
    session.expect_only_main_window()
    session.menu("alt+f", "s")
    session.expect_error(CANNOT_OPEN_SUBTITLE)


def drop_file(session):
    """A file dropped on the window is opened as Open opens it, and Save proposes its name in
    its own folder."""
    folder = os.path.join(session.folder, "dropped")
    os.makedirs(folder)
    first = os.path.join(folder, UNICODE_NAME + ".smi")
    second = os.path.join(folder, "second.smi")
    shutil.copyfile(session.options.sample, first)
    shutil.copyfile(session.options.sample, second)
    drop(session, first)
    session.expect_open_box(UNICODE_NAME + ".smi")
    session.save("s", None)
    session.expect_convert_ok()
    expect_bytes(os.path.join(folder, UNICODE_NAME + ".txt"), PLAIN_SAMPLE)
    check(sorted(os.listdir(folder)) == sorted([UNICODE_NAME + ".smi", UNICODE_NAME + ".txt",
                                                "second.smi"]),
          f"dropped holds {sorted(os.listdir(folder))}")


def drop(session, *paths):
    """Drops files on the main window, as the shell does."""
    subprocess.run([WINE, session.options.probe, "drop", *map(windows_path, paths)],
                   env=session.env, check=True, timeout=60, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


# ---- the batch window ----
BATCH_TITLE = "여러 자막 변환 - Velmora"
BATCH_TYPES = ["Txt File (Save)", "UTF-8 Txt File (Save)", "Txt File (Sync Save)",
               "UTF-8 Txt File (Sync Save)", "SubRip (*.srt)", "WebVTT (*.vtt)"]
BATCH_TYPE, BATCH_LANGUAGE, BATCH_BESIDE, BATCH_FOLDER, BATCH_REPLACE = 3004, 3005, 3006, 3007, 3009
BATCH_SUMMARY = 3011
WS_DISABLED = 0x08000000


def batch_control(session, control_id):
    window = session.wait_window(BATCH_TITLE)
    return next(control for control in window["controls"] if int(control["id"]) == control_id)


def choose_batch_type(session, index):
    """The type at index (from 0) by keyboard: Alt+T, then arrows."""
    session.focus(BATCH_TITLE)
    session.key("alt+t", "Home", *["Down"] * index)
    text = batch_control(session, BATCH_TYPE)["text"]
    check(text == BATCH_TYPES[index], f"the type shows {text!r}")


def run_batch(session, timeout=120):
    """Convert (Alt+C), then the summary line once the batch ended."""
    session.focus(BATCH_TITLE)
    before = batch_control(session, BATCH_SUMMARY)["text"]
    session.key("alt+c")
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        summary = batch_control(session, BATCH_SUMMARY)["text"]
        if summary and summary != before:
            return summary
        time.sleep(0.3)
    raise Failure("the batch did not end")


def smi2txt_folder(session, subtitles, *options):
    """The files smi2txt.exe -d writes for subtitles with options, by name."""
    output = os.path.join(session.options.work, "smi2txt-folder")
    shutil.rmtree(output, ignore_errors=True)
    os.makedirs(output)
    subprocess.run([WINE, session.options.smi2txt, *options, "-d", windows_path(output),
                    *map(windows_path, subtitles)], env=session.env, capture_output=True,
                   timeout=300)
    return {name: read(os.path.join(output, name)) for name in os.listdir(output)}


def expect_same_files(folder, expected, also=()):
    """folder holds exactly the files smi2txt.exe wrote, byte for byte, and the names in also."""
    found = sorted(name for name in os.listdir(folder) if name not in also)
    check(found == sorted(expected), f"{folder} holds {found}, expected {sorted(expected)}")
    for name, content in expected.items():
        expect_bytes(os.path.join(folder, name), content)


def batch_drop(session):
    """Five subtitles dropped on the window open the batch window; SubRip beside them, then
    UTF-8 text into a chosen folder, each file what smi2txt.exe -d writes; a file that exists
    is skipped untouched, then replaced once Replace is checked."""
    folder = os.path.join(session.folder, "season")
    os.makedirs(folder)
    names = {"bi.smi": BILINGUAL, "utf8.smi": "en_pbs_superwhy_episode_enuscc_utf8.smi",
             "utf16.smi": "ko_kamisama_e01_utf16le_bom_crlf.smi"}
    subtitles = []
    for as_name, name in names.items():
        shutil.copyfile(os.path.join(session.options.corpus, name), os.path.join(folder, as_name))
        subtitles.append(os.path.join(folder, as_name))
    nosync = os.path.join(folder, "nosync.smi")
    with open(nosync, "wb") as stream:
        stream.write(b"<SAMI><BODY><P Class=KRCC>no time here</BODY></SAMI>\r\n")
    exists = os.path.join(folder, "exists.smi")
    shutil.copyfile(session.options.sample, exists)
    with open(os.path.join(folder, "exists.srt"), "wb") as stream:
        stream.write(b"old")
    subtitles += [nosync, exists]
    drop(session, *subtitles)
    session.wait_window(BATCH_TITLE)
    languages = batch_control(session, BATCH_LANGUAGE)
    check(languages["text"] == "All" and languages["items"][0] == "All"
          and "KRCC (3)" in languages["items"], f"the languages are {languages.get('items')}")
    choose_batch_type(session, 4)
    summary = run_batch(session)
    check(summary == "5개 중 3개 변환, 1개 건너뜀, 1개 오류", f"the summary says {summary!r}")
    screenshot(session, session.wait_window(BATCH_TITLE), "velmora-batch.png")
    expected = smi2txt_folder(session, subtitles[:4], "--format=srt")
    expect_same_files(folder, expected, also=[os.path.basename(p) for p in subtitles] +
                      ["exists.srt"])
    expect_bytes(os.path.join(folder, "exists.srt"), b"old")

    session.key("alt+p")  # Replace existing files
    check(batch_control(session, BATCH_REPLACE)["checked"] == "1", "Replace is not checked")
    summary = run_batch(session)
    check(summary == "5개 중 4개 변환, 0개 건너뜀, 1개 오류", f"the summary says {summary!r}")
    expect_bytes(os.path.join(folder, "exists.srt"),
                 smi2txt(session, exists, "--format=srt"))

    chosen = os.path.join(session.folder, "chosen")
    os.makedirs(chosen)
    choose_batch_type(session, 1)
    session.key("alt+d")  # Beside each subtitle, unchecked
    check(not int(batch_control(session, BATCH_FOLDER)["style"], 16) & WS_DISABLED,
          "the folder stays disabled")
    session.key("alt+f")
    session.type_text(windows_path(chosen))
    summary = run_batch(session)
    check(summary == "5개 중 5개 변환, 0개 건너뜀, 0개 오류", f"the summary says {summary!r}")
    expect_same_files(chosen, smi2txt_folder(session, subtitles, "-u"))


def batch_stop(session):
    """Stop during a batch of many feature-length subtitles ends it after the current file:
    every file written is whole, no temporary file is left, and the summary says what is
    left."""
    folder = os.path.join(session.folder, "many")
    os.makedirs(folder)
    # Four films in one file, so that the batch outlasts the keys that stop it.
    film = os.path.join(session.folder, "film.smi")
    with open(film, "wb") as stream:
        stream.write(read(os.path.join(session.options.corpus, FILM)) * 4)
    subtitles = []
    for k in range(300):
        subtitles.append(os.path.join(folder, f"{k:03}.smi"))
        os.link(film, subtitles[-1])
    expected = smi2txt(session, film, "--format=srt")
    drop(session, *subtitles)
    session.wait_window(BATCH_TITLE, timeout=120)
    choose_batch_type(session, 4)
    session.key("alt+c")
    deadline = time.monotonic() + 60
    while not any(name.endswith(".srt") for name in os.listdir(folder)):
        check(time.monotonic() < deadline, "the batch wrote nothing")
        time.sleep(0.05)
    session.key("Escape")  # stops the batch; the window stays
    deadline = time.monotonic() + 30
    while not batch_control(session, BATCH_SUMMARY)["text"]:
        check(time.monotonic() < deadline, "Stop did not end the batch")
        time.sleep(0.3)
    summary = batch_control(session, BATCH_SUMMARY)["text"]
    written = sorted(name for name in os.listdir(folder) if not name.endswith(".smi"))
    check(summary == f"300개 중 {len(written)}개 변환, 0개 건너뜀, 0개 오류, "
          f"{300 - len(written)}개 남음", f"the summary says {summary!r}, {len(written)} written")
    check(0 < len(written) < 300, f"{len(written)} files written before Stop")
    for name in written:
        check(name.endswith(".srt"), f"{name} was left")
        expect_bytes(os.path.join(folder, name), expected)
    session.key("Escape")
    session.wait_gone(BATCH_TITLE)


def restart(session):
    """Exit by the menu, let Wine write its registry, and start again keeping the choices."""
    session.menu("alt+f", "x")
    session.expect_exit()
    subprocess.run([WINESERVER, "-w"], env=session.env, timeout=60)
    os.killpg(session.display.pid, signal.SIGTERM)
    session.display.wait(timeout=15)
    session.title = "Velmora"
    session.start(keep_choices=True)


def batch_choices_kept(session):
    """The batch window's choices and the save dialogs' types are read back after a restart."""
    subtitle = session.copy_sample()
    session.open_subtitle(subtitle)
    session.save("y", windows_path(os.path.join(session.folder, "timed")), file_type=3)
    session.expect_convert_ok()
    session.menu("ctrl+b")
    session.wait_window(BATCH_TITLE)
    choose_batch_type(session, 5)
    session.key("alt+d", "alt+f")
    session.type_text("C:\\subs")
    session.key("alt+p", "Escape")
    session.wait_gone(BATCH_TITLE)
    restart(session)
    session.open_subtitle(subtitle)
    session.menu("alt+f", "y")
    check(session.file_types()[0] == SYNC_SAVE_TYPES[2], f"Sync Save opens on {session.file_types()}")
    session.key("Escape")
    session.wait_gone(SAVE_DIALOG)
    session.menu("ctrl+b")
    window = session.wait_window(BATCH_TITLE)
    controls = {int(control["id"]): control for control in window["controls"]}
    check(controls[BATCH_TYPE]["text"] == BATCH_TYPES[5], f"type {controls[BATCH_TYPE]['text']}")
    check(controls[BATCH_FOLDER]["text"] == "C:\\subs", f"folder {controls[BATCH_FOLDER]['text']}")
    check(controls[BATCH_BESIDE]["checked"] == "0", "Beside is checked again")
    check(controls[BATCH_REPLACE]["checked"] == "1", "Replace is unchecked again")
    session.key("Escape")
    session.wait_gone(BATCH_TITLE)


def start_with_argument(session):
    """A subtitle given at start ("Open with") is chosen without a box; Save converts it."""
    session.expect_only_main_window()
    session.save("s", None)
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, "in.txt"), PLAIN_SAMPLE)
    session.expect_files("in.smi", "in.txt")


def save_without_subtitle(session):
    """Save and Sync Save before Open, and after the subtitle was deleted: no save dialog."""
    session.menu("alt+f", "s")
    session.expect_error(CANNOT_OPEN_SUBTITLE)
    session.menu("alt+f", "y")
    session.expect_error(CANNOT_OPEN_SUBTITLE)
    subtitle = session.copy_sample()
    session.open_subtitle(subtitle)
    os.remove(subtitle)
    session.menu("alt+f", "s")
    session.expect_error(CANNOT_OPEN_SUBTITLE)
    session.expect_only_main_window(settle=0.5)
    session.expect_files()


def save_cancelled(session):
    """A cancelled save keeps the subtitle chosen: the next save needs no new Open."""
    session.open_subtitle(session.copy_sample())
    session.menu("alt+f", "s")
    session.wait_window(SAVE_DIALOG)
    session.focus(SAVE_DIALOG)
    session.key("Escape")
    session.wait_gone(SAVE_DIALOG)
    session.expect_only_main_window()
    session.save("s", windows_path(os.path.join(session.folder, "out.txt")))
    session.expect_convert_ok()
    expect_bytes(os.path.join(session.folder, "out.txt"), PLAIN_SAMPLE)


def save_over_subtitle(session):
    """The subtitle itself, named another way, is refused and left as it was."""
    subtitle = session.copy_sample()
    os.makedirs(os.path.join(session.folder, "sub"))
    session.open_subtitle(subtitle)
    session.save("s", windows_path(session.folder) + "\\sub\\..\\IN.SMI", replace=True)
    session.expect_error(SAME_AS_SUBTITLE)
    expect_bytes(subtitle, read(session.options.sample))
    session.expect_files("in.smi", "sub")


def save_not_creatable(session):
    """A read-only target is refused and kept; so is a folder that does not exist."""
    session.open_subtitle(session.copy_sample())
    target = os.path.join(session.folder, "locked.txt")
    with open(target, "wb") as stream:
        stream.write(b"keep me\r\n")
    os.chmod(target, 0o444)
    session.save("s", windows_path(target), replace=True)
    session.expect_error(CANNOT_CREATE_OUTPUT)
    expect_bytes(target, b"keep me\r\n")
    session.expect_files("in.smi", "locked.txt")


def utf16_subtitle(session):
    """A UTF-16 subtitle gives UTF-16 text of the same byte order, with CR LF line ends."""
    check(session.options.utf16 is not None, "no UTF-16 subtitle given")
    subtitle = os.path.join(session.folder, "wide.smi")
    shutil.copyfile(session.options.utf16, subtitle)
    session.open_subtitle(subtitle)
    session.save("y", windows_path(os.path.join(session.folder, "wide.txt")))
    session.expect_convert_ok()
    wide = read(os.path.join(session.folder, "wide.txt"))
    check(wide.startswith(b"\xff\xfe"), f"wide.txt starts with {wide[:4]!r}, not FF FE")
    text = wide[2:].decode("utf-16-le")
    check("\n" not in text.replace("\r\n", ""), "a line end other than CR LF in wide.txt")
    check(text.startswith("00 :00 :23  \uadf8\ub807\uad6c\ub9cc\r\n"),
          "wide.txt does not start with the first subtitle")
    session.expect_files("wide.smi", "wide.txt")


def sync_save_without_sync(session):
    """Sync Save of a file with no SYNC tag is refused: no new file, an old one kept."""
    subtitle = os.path.join(session.folder, "notes.smi")
    with open(subtitle, "wb") as stream:
        stream.write(b"<SAMI><BODY>\r\nNo subtitles here.\r\n</BODY></SAMI>\r\n")
    session.open_subtitle(subtitle)
    session.save("y", windows_path(os.path.join(session.folder, "new.txt")))
    session.expect_error(NO_SYNC_TAG)
    target = os.path.join(session.folder, "old.txt")
    with open(target, "wb") as stream:
        stream.write(b"keep me\r\n")
    session.save("y", windows_path(target), replace=True)
    session.expect_error(NO_SYNC_TAG)
    expect_bytes(target, b"keep me\r\n")
    session.save("y", windows_path(os.path.join(session.folder, "new.srt")))
    session.expect_error(NO_SYNC_TAG)
    session.expect_files("notes.smi", "old.txt")


def path_too_long(session):
    """A path of 166 Korean-laden characters, longer than 256 bytes in code page 949, is
    taken whole; one longer than the dialog's 256 characters is reported, not silently
    dropped."""
    # Over 256 bytes in code page 949 unless the work folder's own path is long.
    korean = os.path.join(session.folder, "한국어자막모음")
    while len(windows_path(korean)) < 120:
        korean = os.path.join(korean, "드라마자막폴더")
    os.makedirs(korean)
    name = "가" * (166 - len(windows_path(korean)) - 5) + ".smi"
    subtitle = os.path.join(korean, name)
    shutil.copyfile(session.options.sample, subtitle)
    check(len(windows_path(subtitle)) == 166, "the Korean path is not 166 characters long")
    session.open_subtitle(subtitle)
    session.save("s", None)
    session.expect_convert_ok()
    expect_bytes(subtitle[:-len(".smi")] + ".txt", PLAIN_SAMPLE)

    # Longer than the 256-character buffer, but within the system's own limit of 260 that
    # Wine's dialog itself cannot go beyond.
    folder = session.folder
    while len(windows_path(folder)) < 200:
        folder = os.path.join(folder, "a_rather_long_folder_name")
    os.makedirs(folder)
    name = "s" * (258 - len(windows_path(folder)) - 5) + ".smi"
    subtitle = os.path.join(folder, name)
    shutil.copyfile(session.options.sample, subtitle)
    check(len(windows_path(subtitle)) == 258, "the path is not 258 characters long")
    session.menu("alt+f", "o")
    session.choose_in_dialog(OPEN_DIALOG, windows_path(subtitle))
    session.expect_error(PATH_TOO_LONG)
    session.expect_only_main_window()  # the Korean subtitle stays chosen


ABOUT_TEXTS = ["Velmora Version 1.1", "Velmora project",
               "Source and issues: the Velmora repository"]


def open_about(session, keys):
    session.menu(*keys)
    box = session.wait_window("About")
    texts = [control["text"] for control in box["controls"] if control["class"] == "Static"]
    check(texts == ABOUT_TEXTS, f"About box says {texts}")
    check(box["owner"] == "VELMORA", f"About box owned by {box['owner']!r}")
    return box


def about_box(session):
    """The menu item and both accelerators open it; Enter, Escape, OK and the close box shut it."""
    box = open_about(session, ["alt+h", "a"])
    time.sleep(0.5)
    screenshot(session, box, "velmora-about.png")
    session.focus("About")
    session.key("Return")
    session.wait_gone("About")

    open_about(session, ["alt+question"])
    session.focus("About")
    session.key("Escape")
    session.wait_gone("About")

    box = open_about(session, ["alt+slash"])
    button = next(control for control in box["controls"] if control["class"] == "Button")
    check(button["text"] == "OK", f"About button says {button['text']!r}")
    left, top, right, bottom = button["rect"]
    session.click((left + right) // 2, (top + bottom) // 2)
    session.wait_gone("About")

    box = open_about(session, ["alt+h", "a"])
    session.click_close_box(box)
    session.wait_gone("About")
    session.expect_only_main_window(settle=0.5)


def exit_by_menu(session):
    session.menu("alt+f", "x")
    session.expect_exit()


def exit_by_close_box(session):
    session.click_close_box(session.main)
    session.expect_exit()


def click_close_box(session, window):
    """Wine draws the caption itself: its close box is the last one, at the top right."""
    left, top, right, _ = window["rect"]
    frame = window["client"][0] - left
    caption = int(window["caption"])
    session.click(right - frame - caption // 2 - 1, top + frame + caption // 2)


Session.click_close_box = click_close_box

SCENARIOS = {
    "paint": paint,
    "scaled_200": scaled_200,
    "dpi_changed": dpi_changed,
    "open_chosen": open_chosen,
    "open_cancelled": open_cancelled,
    "save_and_sync_save": save_and_sync_save,
    "save_types": save_types,
    "type_over_name": type_over_name,
    "bilingual_tiny": bilingual_tiny,
    "bilingual_film": bilingual_film,
    "language_menu": language_menu,
    "utf8_text": utf8_text,
    "save_replaces": save_replaces,
    "unicode_names": unicode_names,
    "open_missing": open_missing,
    "drop_file": drop_file,
    "start_with_argument": start_with_argument,
    "batch_drop": batch_drop,
    "batch_stop": batch_stop,
    "batch_choices_kept": batch_choices_kept,
    "save_without_subtitle": save_without_subtitle,
    "save_cancelled": save_cancelled,
    "save_over_subtitle": save_over_subtitle,
    "save_not_creatable": save_not_creatable,
    "utf16_subtitle": utf16_subtitle,
    "sync_save_without_sync": sync_save_without_sync,
    "path_too_long": path_too_long,
    "about_box": about_box,
    "exit_by_menu": exit_by_menu,
    "exit_by_close_box": exit_by_close_box,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--sample", required=True)
    parser.add_argument("--utf16")
    parser.add_argument("--smi2txt")
    parser.add_argument("--corpus")
    options = parser.parse_args()
    for name in ("program", "probe", "work", "sample", "utf16", "smi2txt", "corpus"):
        if getattr(options, name) is not None:
            setattr(options, name, os.path.abspath(getattr(options, name)))
    if not os.path.exists(os.path.join(os.environ.get("WINEPREFIX", ""), ".velmora-ready")):
        print("WINEPREFIX must name a prefix made by scripts/prepare-wine.sh", file=sys.stderr)
        return 1
    session = Session(options, options.scenario)
    try:
        if options.scenario == "scaled_200":
            use_scaled_prefix(session, 192)
        if options.scenario == "start_with_argument":
            session.copy_sample()
            session.title = "in.smi - Velmora"
            session.start("in.smi")  # relative to the program's folder, as a console gives it
        elif options.scenario == "language_menu":
            corpus_file(session, BILINGUAL, "bi.smi")
            session.title = "bi.smi - Velmora"
            session.start("bi.smi")
        else:
            session.start()
        SCENARIOS[options.scenario](session)
    except Failure as failure:
        print(f"FAILED {options.scenario}: {failure}", file=sys.stderr)
        return 1
    finally:
        session.stop()
    print(f"passed {options.scenario}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
