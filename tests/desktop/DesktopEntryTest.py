#!/usr/bin/python3
"""The desktop entry that scripts/desktop-entry.sh installs, checked as the desktop reads it.

Installs the entry for a program folder whose name needs quoting into a temporary XDG_DATA_HOME
(and once more through HOME alone), has desktop-file-validate check it, reads its keys back,
parses its Exec line by the freedesktop.org desktop entry rules into the program's path,
checks every icon size, and removes the entry again.

    DesktopEntryTest.py --script scripts/desktop-entry.sh --icons BUILD/app/icons

Exit status: 0 when every check passed, 1 when one failed, 77 when desktop-file-validate is not
installed (scripts/setup.sh installs it).
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SKIP = 77
FAILURES = []


def check(condition, message):
    if not condition:
        FAILURES.append(message)
        print(f"FAILED: {message}", flush=True)


def read_entry(path):
    """The keys of the [Desktop Entry] group, values unescaped as string values are."""
    keys, group = {}, None
    with open(path, encoding="utf-8") as entry:
        for line in entry.read().splitlines():
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                group = line
                continue
            if group == "[Desktop Entry]" and "=" in line:
                key, value = line.split("=", 1)
                out, i = [], 0
                while i < len(value):
                    if value[i] == "\\" and i + 1 < len(value):
                        out.append({"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}.get(value[i + 1], "\\" + value[i + 1]))
                        i += 2
                    else:
                        out.append(value[i])
                        i += 1
                keys[key.strip()] = "".join(out)
    return keys


def exec_argv(value):
    """The Exec key's command line as the desktop splits it: words apart at blanks, a word in
    double quotes may hold blanks and the escapes \\" \\` \\$ \\\\, and %% is a percent sign."""
    words, word, quoted, started, i = [], [], False, False, 0
    while i < len(value):
        c = value[i]
        if quoted and c == "\\" and i + 1 < len(value) and value[i + 1] in '"`$\\':
            word.append(value[i + 1])
            i += 2
            continue
        if c == '"':
            quoted, started = not quoted, True
        elif c == " " and not quoted:
            if started:
                words.append("".join(word))
            word, started = [], False
        else:
            word.append(c)
            started = True
        i += 1
    if started:
        words.append("".join(word))
    return [w.replace("%%", "%") for w in words]


def png_size(path):
    with open(path, "rb") as image:
        head = image.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def run(args, env):
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=60)


def check_installation(script, icons, env, data_home, program_folder):
    installed = run(["bash", script, "install", program_folder, icons], env)
    check(installed.returncode == 0, f"install failed: {installed.stdout}{installed.stderr}")
    entry = os.path.join(data_home, "applications", "tindrel.desktop")
    check(os.path.isfile(entry), f"no entry at {entry}")
    if not os.path.isfile(entry):
        return

    validated = run(["desktop-file-validate", entry], env)
    check(validated.returncode == 0 and "error" not in validated.stdout.lower(),
          f"desktop-file-validate refused the entry:\n{validated.stdout}{validated.stderr}")
    if validated.stdout.strip():
        print(f"desktop-file-validate says:\n{validated.stdout}", flush=True)

    keys = read_entry(entry)
    program = os.path.join(program_folder, "tindrel")
    check(keys.get("Type") == "Application", f"Type is {keys.get('Type')!r}")
    check(keys.get("Name") == "Tindrel II", f"Name is {keys.get('Name')!r}")
    check(bool(keys.get("Comment")), "the entry has no Comment")
    check(keys.get("Icon") == "tindrel", f"Icon is {keys.get('Icon')!r}")
    categories = keys.get("Categories", "").split(";")
    check("Office" in categories and "Utility" in categories, f"Categories are {keys.get('Categories')!r}")
    check(keys.get("StartupWMClass") == "Tindrel II", f"StartupWMClass is {keys.get('StartupWMClass')!r}")
    check(keys.get("TryExec") == program, f"TryExec is {keys.get('TryExec')!r}, not {program!r}")
    argv = exec_argv(keys.get("Exec", ""))
    check(argv == [program], f"Exec {keys.get('Exec')!r} starts {argv}, not {[program]}")

    theme = os.path.join(data_home, "icons", "hicolor")
    for side in (16, 22, 24, 32, 48, 64, 128, 256):
        icon = os.path.join(theme, f"{side}x{side}", "apps", "tindrel.png")
        check(os.path.isfile(icon) and png_size(icon) == (side, side), f"no {side}x{side} PNG icon at {icon}")

    # Installing again (the next run.sh) replaces the entry in place.
    again = run(["bash", script, "install", program_folder, icons], env)
    check(again.returncode == 0 and read_entry(entry) == keys, "a second install changed the entry")

    removed = run(["bash", script, "remove"], env)
    check(removed.returncode == 0, f"remove failed: {removed.stderr}")
    check(not os.path.exists(entry), "remove left the entry")
    left = [os.path.join(d, f) for d, _, files in os.walk(theme) for f in files if f == "tindrel.png"]
    check(not left, f"remove left icons: {left}")
    others = os.path.join(data_home, "applications", "someone-else.desktop")
    check(os.path.isfile(others), "remove took another program's entry")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--script", required=True)
    parser.add_argument("--icons", required=True)
    args = parser.parse_args()
    if shutil.which("desktop-file-validate") is None:
        print("skipped: desktop-file-validate is not installed (run scripts/setup.sh)", flush=True)
        return SKIP

    work = tempfile.mkdtemp(prefix="tindrel-desktop-")
    try:
        # A program folder that a command line must quote: blanks, quotes, a dollar, a percent.
        program_folder = os.path.join(work, "Tindrel's \"notes\" $HOME 100%")
        os.makedirs(program_folder)
        program = os.path.join(program_folder, "tindrel")
        with open(program, "w") as stand_in:
            stand_in.write("#!/bin/sh\n")
        os.chmod(program, 0o755)

        for how in ("XDG_DATA_HOME", "HOME"):
            home = os.path.join(work, f"home-{how}")
            env = {k: v for k, v in os.environ.items() if k != "XDG_DATA_HOME"}
            env["HOME"] = home
            data_home = os.path.join(home, ".local", "share")
            if how == "XDG_DATA_HOME":
                data_home = os.path.join(work, "data home")
                env["XDG_DATA_HOME"] = data_home
            os.makedirs(os.path.join(data_home, "applications"))
            with open(os.path.join(data_home, "applications", "someone-else.desktop"), "w") as other:
                other.write("[Desktop Entry]\nType=Application\nName=Other\nExec=other\n")
            print(f"installing through {how}: {data_home}", flush=True)
            check_installation(args.script, args.icons, env, data_home, program_folder)

        # An install that cannot point at a program says so and writes nothing.
        empty = os.path.join(work, "no program here")
        os.makedirs(empty)
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(work, "refused"))
        refused = run(["bash", args.script, "install", empty, args.icons], env)
        check(refused.returncode == 1 and "not there" in refused.stderr, f"install without a program: {refused.stderr}")
        check(not os.path.exists(os.path.join(work, "refused", "applications")), "an entry was written for no program")
        wrong = run(["bash", args.script, "install"], env)
        check(wrong.returncode == 2 and "usage" in wrong.stderr, "install without arguments gave no usage")
    finally:
        shutil.rmtree(work, ignore_errors=True)

    if FAILURES:
        return 1
    print("desktop entry checks passed", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
