#!/usr/bin/env python3
"""Writes a help2man include with a COMMANDS section made from every command's own --help,
as the built tool prints it, so the manual page lists each command's arguments and options.

Usage: man_commands.py KIVREL OUT.h2m
"""
import re
import subprocess
import sys

# CLI11 prints an entry's name padded to this column, or alone on its line when longer, with
# the description on the next line, indented to the column.
COLUMN = 30
SUBCOMMAND = re.compile(r"^  ([a-z][a-z0-9-]*)(?:\s|$)")


def help_text(program, path):
    return subprocess.run([program, *path, "--help"], check=True, capture_output=True,
                          text=True).stdout


def parse(text):
    """(description, usage, {section: [(name, description)]}, closing paragraphs)."""
    lines = text.rstrip("\n").splitlines()
    description, usage, sections, closing, section = lines[0], "", {}, [], None
    i = 1
    while i < len(lines):
        line = lines[i]
        if line.startswith("Usage: "):
            usage = line[len("Usage: "):]
        elif line.endswith(":") and not line[0].isspace():
            section = line[:-1]
            sections[section] = []
        elif line and not line[0].isspace():
            section = None
            closing.append(line)
        elif section and line.strip():
            follows = lines[i + 1] if i + 1 < len(lines) else ""
            if follows.startswith(" " * COLUMN) and follows.strip():
                sections[section].append((line.strip(), follows.strip()))
                i += 1
            else:
                sections[section].append((line[:COLUMN].strip(), line[COLUMN:].strip()))
        i += 1
    return description, usage, sections, closing


def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text.startswith((".", "'")) else text


def main():
    program, out = sys.argv[1], sys.argv[2]
    parts = ["[COMMANDS]\nGlobal options (see OPTIONS) may stand before or after the command.\n"]
    pending = [[]]
    while pending:
        path = pending.pop(0)
        description, usage, sections, closing = parse(help_text(program, path))
        subs = [name for name, _ in sections.get("Subcommands", [])]
        pending[0:0] = [path + [sub] for sub in subs]
        if subs or not path:
            continue  # the tool itself, or a group whose commands follow
        parts.append(f'.SS "{roff(usage)}"\n{roff(description)}\n')
        for section in ("Positionals", "Options"):
            for name, text in sections.get(section, []):
                if name != "-h,--help":
                    parts.append(f".TP\n.B {roff(name)}\n{roff(text)}\n")
        parts.extend(f".PP\n{roff(line)}\n" for line in closing)
    with open(out, "w", encoding="utf-8") as f:
        f.write("".join(parts))


if __name__ == "__main__":
    main()
