#!/usr/bin/env python3
"""The benchmark command, as a script: `python3 benchmarks/run.py --help`."""

import sys
from pathlib import Path

if __name__ == "__main__":
    # The package's folder in place of this script's: the modules import as
    # `benchmarks.*`, and none of their names hides a module of the standard library.
    here = Path(__file__).resolve().parent
    if sys.path and Path(sys.path[0] or ".").resolve() == here:
        del sys.path[0]
    sys.path.insert(0, str(here.parent))

    from benchmarks.cli import main

    sys.exit(main())
