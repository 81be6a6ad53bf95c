#!/usr/bin/env python3
# /// script
# dependencies = ["nox>=2025.2.9"]
# ///
"""Tasks for contributors: `nox` runs the lint and the Python tests, `nox -s benchmark` the benchmark.

`bash scripts/test` runs everything, the C++ tests and the sanitizer builds included.
"""

import nox

nox.needs_version = ">=2025.2.9"
nox.options.default_venv_backend = "venv"

PYPROJECT = nox.project.load_toml("pyproject.toml")


@nox.session
def tests(session: nox.Session) -> None:
    """The Python tests and the examples' against the package built from this checkout."""
    session.install(".", *nox.project.dependency_groups(PYPROJECT, "test"))
    session.run("pytest", *session.posargs)


@nox.session(venv_backend="none")
def lint(session: nox.Session) -> None:
    """The lint stage of scripts/test, which keeps its tools in build/lint."""
    session.run("bash", "scripts/lint", external=True)


@nox.session(default=False)
def benchmark(session: nox.Session) -> None:
    """The tables of benchmarks/README.md; arguments go to benchmarks/run.py (`-- --help`)."""
    session.install(".", "-r", "benchmarks/requirements.txt")
    session.run("python", "benchmarks/run.py", *session.posargs)


if __name__ == "__main__":
    nox.main()
