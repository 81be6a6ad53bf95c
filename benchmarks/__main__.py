"""`python3 -m benchmarks`, from the repository's root: the benchmark command."""

import sys

from benchmarks.cli import main

if __name__ == "__main__":
    sys.exit(main(command="python3 -m benchmarks", prog="python3 -m benchmarks"))
