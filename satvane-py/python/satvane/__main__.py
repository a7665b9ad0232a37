"""`python -m satvane`: the command line (see satvane.cli)."""

import sys

from satvane.cli import main

if __name__ == "__main__":
    sys.exit(main())
