"""Fails when korvex-cli's help names a command or option that its manual
page does not document, so that the two cannot drift apart.

    python3 docs_man_cli_check.py KORVEX_CLI korvex-cli.1

The commands are those 'korvex-cli --help' lists; each command's options are
the '--name' words its own '--help' prints. The page documents a command as
an item '.It Cm NAME ...' of its COMMANDS list, and an option of that command
as 'Fl \\-name' within that item (its synopsis or its option list).
"""
import re
import subprocess
import sys


def run(cli, *args):
    done = subprocess.run([cli, *args], capture_output=True, text=True, timeout=20)
    if done.returncode != 0:
        sys.exit(f"'{' '.join(['korvex-cli', *args])}' failed ({done.returncode}): {done.stderr}")
    return done.stdout


def commands(cli):
    text = run(cli, "--help")
    block = text.split("commands:\n", 1)[1].split("\n\n", 1)[0]
    return [line.split()[0] for line in block.splitlines() if line.strip()]


def section(page, name):
    m = re.search(r"^\.Sh " + re.escape(name) + r"\n(.*?)(?=^\.Sh |\Z)", page, re.M | re.S)
    return m.group(1) if m else ""


def command_items(page):
    """Text of each '.It Cm NAME' item of COMMANDS, by name."""
    items = {}
    text = section(page, "COMMANDS")
    starts = [m for m in re.finditer(r"^\.It Cm (\S+)", text, re.M)]
    for i, m in enumerate(starts):
        end = starts[i + 1].start() if i + 1 < len(starts) else len(text)
        items[m.group(1)] = text[m.start():end]
    return items


def documented(text, option):
    return re.search(r"Fl \\-" + re.escape(option) + r"(?![\w-])", text) is not None


def main():
    cli, man = sys.argv[1], sys.argv[2]
    with open(man, encoding="utf-8") as f:
        page = f.read()
    items = command_items(page)
    missing = []
    for cmd in commands(cli):
        if cmd not in items:
            missing.append(f"command '{cmd}' (no '.It Cm {cmd}' in COMMANDS)")
            continue
        for option in sorted(set(re.findall(r"(?<![\w-])--([a-z][a-z0-9-]*)", run(cli, cmd, "--help")))):
            if option != "help" and not documented(items[cmd], option):
                missing.append(f"option '--{option}' of '{cmd}'")
    for item in missing:
        print(f"{man}: does not document {item}")
    if missing:
        sys.exit(1)
    print(f"{man} documents every command and option korvex-cli's help shows")


main()
