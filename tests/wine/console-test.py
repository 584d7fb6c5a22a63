#!/usr/bin/env python3
"""End-to-end tests of corvel.exe on a real Windows console under Wine.

A Wine program whose standard streams are a Linux pseudo-terminal gets a Windows console, so
corvel's console road runs: the colour decision sees a terminal, text goes out through
WriteConsoleW and the remove prompt is answered through ReadConsoleW. The tests write keystrokes
to the terminal and read back what Wine's console draws.

Usage: console-test.py CORVEL_EXE (a Linux path), with CORVEL_WINEPREFIX naming the test prefix
(CTest sets it). The tests change only corvel's config.json and C:\\corvel-e2e in that prefix
and delete both afterwards.
"""

import fcntl
import glob
import json
import os
import pty
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PREFIX = os.environ.get("CORVEL_WINEPREFIX", "")
CORVEL = ""  # set from the command line
TIMEOUT = 60  # seconds; a guard against hangs, not a speed check
COLUMNS = 400  # wide enough that Wine's console never wraps a line of these tests
CHUNK = 8192  # UTF-16 units corvel hands to one WriteConsoleW call

# Wine's console hides the cursor while it draws each write; no part of corvel's output.
CURSOR_SEQUENCES = (b"\x1b[?25l", b"\x1b[?25h")


def wine_environment(**changes):
    env = dict(os.environ)
    env.update(WINEPREFIX=PREFIX, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    for name in ("CLICOLOR_FORCE", "NO_COLOR", "CLICOLOR", "JAVA_HOME"):
        env.pop(name, None)
    env.update(changes)
    return env


def drive_c(*parts):
    return os.path.join(PREFIX, "drive_c", *parts)


def config_folder():
    users = [path for path in glob.glob(drive_c("users", "*", "AppData", "Roaming"))
             if os.sep + "Public" + os.sep not in path]
    if len(users) != 1:
        raise RuntimeError(f"cannot tell the prefix's user folder from {users}")
    return os.path.join(users[0], "corvel")


def write_config(versions, current=None):
    os.makedirs(config_folder(), exist_ok=True)
    with open(os.path.join(config_folder(), "config.json"), "w", encoding="utf-8") as file:
        json.dump({"current": current, "versions": versions}, file, ensure_ascii=False, indent=2)


def read_config():
    with open(os.path.join(config_folder(), "config.json"), encoding="utf-8") as file:
        return json.load(file)


def entry(path, version="21.0.2", vendor="Eclipse Adoptium"):
    return {"path": path, "detected_version": version, "vendor": vendor}


def make_jdk(name):
    """A folder that passes corvel's JDK check; returns its Windows path."""
    root = drive_c("corvel-e2e", name)
    os.makedirs(os.path.join(root, "bin"), exist_ok=True)
    for program in ("java.exe", "javac.exe"):
        open(os.path.join(root, "bin", program), "wb").close()
    return "C:\\corvel-e2e\\" + name


def run_piped(args, **env):
    """corvel's exit status and standard output when that is a file, not a console."""
    with tempfile.TemporaryFile() as output:
        status = subprocess.run(["wine", CORVEL, *args], stdin=subprocess.DEVNULL, stdout=output,
                                stderr=subprocess.DEVNULL, env=wine_environment(**env),
                                timeout=TIMEOUT).returncode
        output.seek(0)
        return status, output.read()


def run_on_console(args, answer=None, program=None, **env):
    """corvel's exit status and what Wine's console drew on the terminal. With `answer`, those
    bytes are typed once the remove prompt is on the screen."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 50, COLUMNS, 0, 0))
    process = subprocess.Popen(["wine", program or CORVEL, *args], stdin=slave, stdout=slave,
                               stderr=slave, env=wine_environment(**env), start_new_session=True)
    os.close(slave)
    screen = b""
    deadline = time.monotonic() + TIMEOUT
    try:
        while time.monotonic() < deadline:
            ready, _, _ = select.select([master], [], [], 0.2)
            if ready:
                try:
                    data = os.read(master, 65536)
                except OSError:  # the terminal's last writer is gone
                    break
                if not data:
                    break
                screen += data
            # Typed only once Wine's console reads the terminal raw: before that, the terminal's
            # own line editing would echo the keys and turn the carriage return into a line feed.
            if answer is not None and b"[y/N]" in screen and raw_mode(master):
                os.write(master, answer)
                answer = None
            if not ready and process.poll() is not None:
                break
        else:
            os.killpg(process.pid, signal.SIGKILL)
            raise AssertionError(f"corvel {args} did not end: {screen!r}")
        return process.wait(timeout=TIMEOUT), screen
    finally:
        os.close(master)


def raw_mode(terminal):
    return not termios.tcgetattr(terminal)[3] & termios.ICANON


def text_of(screen):
    """The screen bytes without Wine's cursor hiding, with its CR CR LF line ends as LF."""
    for sequence in CURSOR_SEQUENCES:
        screen = screen.replace(sequence, b"")
    return screen.replace(b"\r\r\n", b"\n")


def as_wine_console_draws(text):
    """Wine's console draws each UTF-16 unit of a character beyond U+FFFF as U+FFFD."""
    return "".join("\ufffd\ufffd" if ord(c) > 0xFFFF else c for c in text)


class ConsoleTest(unittest.TestCase):
    def setUp(self):
        self.cleanUp()
        self.addCleanup(self.cleanUp)

    def cleanUp(self):
        shutil.rmtree(config_folder(), ignore_errors=True)
        shutil.rmtree(drive_c("corvel-e2e"), ignore_errors=True)

    def test_list_is_coloured_on_the_console_and_plain_with_no_color(self):
        jdk = make_jdk("jdk-21")
        write_config({"java21": entry(jdk), "java8": entry("C:\\gone\\jdk8", "1.8.0_392",
                                                               "Oracle Corporation")}, "java21")
        status, screen = run_on_console(["list"])
        self.assertEqual(status, 0)
        self.assertEqual(text_of(screen).decode(), (
            "\x1b[1;4mConfigured Java Versions\x1b[0m\n"
            "\n"
            "\x1b[1;32m▶\x1b[0m \x1b[1;32mjava21    \x1b[0m  \x1b[36m21.0.2      \x1b[0m  "
            "\x1b[2mEclipse Adoptium    \x1b[0m  \x1b[2mC:\\corvel-e2e\\jdk-21\x1b[0m\n"
            "  java8       \x1b[36m1.8.0_392   \x1b[0m  \x1b[2mOracle Corporation  \x1b[0m  "
            "\x1b[2mC:\\gone\\jdk8\x1b[0m\x1b[1;31m [INVALID PATH]\x1b[0m\n"
            "\n"
            "Total: 2 version(s) configured.\n"))

        status, screen = run_on_console(["list"], NO_COLOR="")
        self.assertEqual(status, 0)
        self.assertEqual(text_of(screen).decode(), (
            "Configured Java Versions\n"
            "\n"
            "▶ java21      21.0.2        Eclipse Adoptium      C:\\corvel-e2e\\jdk-21\n"
            "  java8       1.8.0_392     Oracle Corporation    C:\\gone\\jdk8 [INVALID PATH]\n"
            "\n"
            "Total: 2 version(s) configured.\n"))

    def test_text_across_the_write_chunk_boundary_arrives_whole(self):
        # Wine 8's console draws each unit of a character beyond U+FFFF as U+FFFD, whole pair or
        # not, so what this sees is that no unit is lost, doubled or moved at the boundary; that
        # a pair is never split between two calls is for a real Windows console to show.
        # Rows full of non-ASCII and astral characters, more than one chunk of them; the first
        # row's path is lengthened until the chosen character sits on the chunk boundary.
        def versions(padding):
            rows = {}
            for i in range(120):
                rows[f"java{i:03}"] = entry(f"C:\\Jdks\\é-中-😀-𝄞-{i}", f"21.0.{i}", "Vendör 😀")
            rows["java000"]["path"] += "x" * padding
            return rows

        for name, wanted in (("surrogate pair", lambda c: ord(c) > 0xFFFF),
                             ("BMP character", lambda c: 0x7F < ord(c) <= 0xFFFF)):
            with self.subTest(name):
                # UTF-16 offset of every character of the output, from the bytes a file gets.
                write_config(versions(0))
                _, piped = run_piped(["list"], CLICOLOR_FORCE="1")
                offsets, unit = [], 0
                for c in piped.decode():
                    offsets.append((unit, c))
                    unit += 2 if ord(c) > 0xFFFF else 1
                self.assertGreater(unit, CHUNK + 100)
                # The character moves to unit 8191: a pair then spans the boundary.
                start = max(u for u, c in offsets if u <= CHUNK - 1 and wanted(c))
                write_config(versions(CHUNK - 1 - start))

                _, piped = run_piped(["list"], CLICOLOR_FORCE="1")
                units = piped.decode().encode("utf-16-le")
                at_boundary = units[2 * (CHUNK - 1):2 * (CHUNK + 1)].decode("utf-16-le", "replace")
                if name == "surrogate pair":
                    self.assertIn(at_boundary, ("😀", "𝄞"))  # units 8191 and 8192: one pair
                else:
                    self.assertTrue(wanted(at_boundary[0]), at_boundary)

                status, screen = run_on_console(["list"])
                self.assertEqual(status, 0)
                self.assertEqual(text_of(screen).decode(), as_wine_console_draws(piped.decode()))

    def test_remove_prompt_reads_the_answer_from_the_console(self):
        cases = [
            ("y", b"y\r", True),
            ("n", b"n\r", False),
            ("ideographic spaces around Y", "\u3000Y\u3000\r".encode(), True),
            ("non-ASCII letter", "ý\r".encode(), False),
        ]
        for name, keys, removes in cases:
            with self.subTest(name):
                write_config({"java17": entry("C:\\Java\\jdk-17", "17.0.2", "Oracle")})
                status, screen = run_on_console(["remove", "java17"], answer=keys)
                self.assertEqual(status, 0, screen)
                text = text_of(screen).decode()
                self.assertTrue(text.startswith("Remove alias '\x1b[36mjava17\x1b[0m'? [y/N]"),
                                text)
                # The console echoes the answer as typed, then corvel answers on its own line.
                echoed = keys[:-1].decode()
                if removes:
                    self.assertTrue(text.endswith(
                        echoed + "\n\x1b[1;32m✔\x1b[0m Removed alias '\x1b[36mjava17\x1b[0m'.\n"),
                        text)
                    self.assertEqual(read_config()["versions"], {})
                else:
                    self.assertTrue(text.endswith(echoed + "\nCancelled.\n"), text)
                    self.assertIn("java17", read_config()["versions"])

    def test_remove_answer_is_counted_in_characters_on_the_console(self):
        # As on a pipe: a line end after 4,096 characters still ends an answer, after 4,097 not.
        for spaces, removes in ((4095, True), (4096, False)):
            with self.subTest(spaces=spaces):
                write_config({"java17": entry("C:\\Java\\jdk-17", "17.0.2", "Oracle")})
                keys = ("y" + " " * spaces + "\r").encode()
                status, screen = run_on_console(["remove", "java17"], answer=keys)
                self.assertEqual(status, 0, screen[-400:])
                self.assertEqual("java17" not in read_config()["versions"], removes)

    def test_rest_of_an_over_long_answer_is_not_left_to_the_next_reader(self):
        # The second remove must read the second line, not "y" and the line end after the bound.
        write_config({"a": entry("C:\\a"), "b": entry("C:\\b")})
        exe = "Z:" + os.path.abspath(CORVEL).replace("/", "\\")
        keys = (" " * 4098 + "y\rn\r").encode()
        status, screen = run_on_console(["/c", f"{exe} remove a & {exe} remove b"], keys, "cmd")
        self.assertEqual(status, 0, screen[-400:])
        self.assertEqual(sorted(read_config()["versions"]), ["a", "b"])


if __name__ == "__main__":
    if len(sys.argv) < 2 or not PREFIX:
        sys.exit("usage: CORVEL_WINEPREFIX=PREFIX console-test.py CORVEL_EXE")
    CORVEL = sys.argv.pop(1)
    subprocess.run(["bash", os.path.join(HERE, "wine-prefix.sh"), "ensure"],
                   env=wine_environment(), check=True)
    unittest.main(verbosity=2)
