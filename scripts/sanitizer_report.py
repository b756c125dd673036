"""Prints the sanitizer reports left in a log folder; fails if any counts.

Every AddressSanitizer or UndefinedBehaviorSanitizer error counts.  A leak
counts when one of the frames that allocated it lies in the project's code:
the interpreter, which is not instrumented, leaves its own allocations
behind at exit, and those are not ours to mend.
"""

import pathlib
import re
import sys

FRAME = re.compile(r"^\s*#\d+ ")


def leak_blocks(text):
    """The allocation stacks of a LeakSanitizer report, one per leak."""
    block = []
    for line in text.splitlines():
        if line.startswith(("Direct leak", "Indirect leak")):
            block = [line]
        elif block and FRAME.match(line):
            block.append(line)
        elif block:
            yield block
            block = []
    if block:
        yield block


def main(folder, root):
    ours = (f"{root}/", "site-packages/vellary/")
    counted = []
    for log in sorted(pathlib.Path(folder).glob("*")):
        text = log.read_text(errors="replace")
        if "LeakSanitizer: detected memory leaks" in text and "ERROR: AddressSanitizer" not in text:
            for block in leak_blocks(text):
                if any(marker in line for line in block[1:] for marker in ours):
                    counted.append((log.name, "\n".join(block)))
        elif text.strip():
            counted.append((log.name, text))
    for name, report in counted:
        print(f"--- {name}\n{report}\n")
    print(f"sanitizers: {len(counted)} report(s)")
    return 1 if counted else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
