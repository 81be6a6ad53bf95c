"""The test scripts' answers to scripts/test, which installs every stage's Debian packages before the first."""

import shutil
import subprocess
from pathlib import Path

import pytest

SCRIPTS = Path(__file__).resolve().parents[2] / "scripts"


@pytest.mark.needs("/bin/bash")
@pytest.mark.parametrize(
    "script, named",
    [
        ("fuzz", ["clang"]),
        ("test-platforms", ["googletest", "g++-aarch64-linux-gnu", "qemu-user", "wine"]),
    ],
)
def test_packages_are_told_without_installing_or_building_anything(script: str, named: list, tmp_path: Path):
    # A copy of the script in a checkout of nothing else, with an apt-get and a
    # cmake that fail: it must answer before it reaches either.
    (tmp_path / "scripts").mkdir()
    shutil.copy(SCRIPTS / script, tmp_path / "scripts" / script)
    stubs = tmp_path / "stubs"
    stubs.mkdir()
    for tool in ("apt-get", "cmake"):
        (stubs / tool).write_text("#!/bin/sh\nexit 97\n")
        (stubs / tool).chmod(0o755)
    result = subprocess.run(
        ["bash", f"scripts/{script}", "--packages"],
        capture_output=True,
        check=False,
        text=True,
        timeout=60,
        cwd=tmp_path,
        env={"PATH": f"{stubs}:/usr/local/bin:/usr/bin:/bin"},
    )
    assert (result.returncode, result.stderr) == (0, "")
    packages = result.stdout.split()
    assert set(named) <= set(packages), packages
    assert sorted(path.name for path in tmp_path.iterdir()) == ["scripts", "stubs"]
