"""The C++ programs of benchmarks/ (levels.cpp, floor.cpp), built with cmake.

The module runs at the best level the processor has and offers no switch, so
some figures come from the C++ core alone, through these programs.
"""

from __future__ import annotations

import json
import shutil
import subprocess
import sys
from pathlib import Path

from benchmarks.harness import ROOT

BUILD = ROOT / "build" / "benchmarks"


def build(target: str, verbose: bool) -> Path | str:
    """A program of benchmarks/, built (Release) in build/benchmarks, or why it was not."""
    cmake = shutil.which("cmake")
    if cmake is None:
        return "cmake is not installed"
    if not (ROOT / "CMakeLists.txt").is_file():
        return f"no sources at {ROOT}"
    steps = [
        (
            [
                cmake,
                "-S",
                str(ROOT),
                "-B",
                str(BUILD),
                "-DCMAKE_BUILD_TYPE=Release",
                "-DBRELIM_BUILD_MODULE=OFF",
                "-DBRELIM_BUILD_TESTS=OFF",
                "-DBRELIM_BUILD_BENCHMARKS=ON",
            ],
            "cmake could not configure a build (no C++ compiler?)",
        ),
        (
            [cmake, "--build", str(BUILD), "--config", "Release", "--target", target, "--parallel", "2"],
            "the build failed",
        ),
    ]
    for command, failure in steps:
        completed = subprocess.run(command, capture_output=True, check=False, text=True)
        if completed.returncode != 0:
            if verbose:
                print(completed.stdout[-4000:], completed.stderr[-4000:], sep="\n", file=sys.stderr)
            return f"{failure} (-v shows cmake's output)"
    for candidate in (target, f"{target}.exe", f"Release/{target}.exe", f"Release/{target}"):
        if (BUILD / candidate).is_file():
            return BUILD / candidate
    return f"no {target} in {BUILD} after the build"


def json_lines(stdout: str) -> list[dict]:
    """The JSON objects a program printed, one a line, among its other lines."""
    return [json.loads(line) for line in stdout.splitlines() if line.startswith("{")]
