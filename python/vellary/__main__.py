"""`python -m vellary`: the command-line tool."""

import sys

from vellary.cli import main

if __name__ == "__main__":
    sys.exit(main())
