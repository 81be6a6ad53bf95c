"""`python -m brelim_cli` runs the `brelim` command."""

import sys

from brelim_cli.command import main

# Guarded: a worker process started afresh imports this module again.
if __name__ == "__main__":
    sys.exit(main())
