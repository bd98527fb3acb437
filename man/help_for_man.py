#!/usr/bin/env python3
"""Runs the command line named by $NUBIKA_CLI with the given arguments and
passes on its output in the layout help2man reads.

CLI11 pads each option's name to a fixed column and starts its description
there; a name one short of that column leaves a single space, which
help2man takes as part of the name. Descriptions are moved to two spaces
past the name. The {false} after a --no- name says only that it clears the
flag, which the page says in words.
"""

import os
import re
import subprocess
import sys


def description_column(lines):
    """Where CLI11 starts the descriptions: the column of -h,--help's."""
    for line in lines:
        found = re.match(r"(  -h,--help +)\S", line)
        if found:
            return len(found.group(1))
    return None


def for_man(text):
    lines = text.split("\n")
    column = description_column(lines)
    out = []
    for number, line in enumerate(lines):
        squeezed = column and line.startswith("  -") and len(line) > column and line[column - 2:column] != "  "
        # A name as long as the column has its description on the next line.
        described_below = number + 1 < len(lines) and lines[number + 1].startswith(" " * (column or 0))
        if squeezed and not described_below:
            line = line[:column] + " " + line[column:]
        out.append(re.sub(r"\{(true|false)\}", "", line))
    return "\n".join(out)


def main():
    done = subprocess.run([os.environ["NUBIKA_CLI"]] + sys.argv[1:], stdout=subprocess.PIPE, check=False)
    sys.stdout.write(for_man(done.stdout.decode()))
    return done.returncode


if __name__ == "__main__":
    sys.exit(main())
