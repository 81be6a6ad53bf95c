"""The example scripts, run as a user would run them, on a small folder."""

import importlib.util
import subprocess
import sys
from pathlib import Path

import pytest

import brelim

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"

DOCUMENTS = {
    "notes.outline": (EXAMPLES / "notes.outline").read_text(encoding="utf-8"),
    "inbox.outline": "* Inbox\r\n** call #plumber\r\n",
    "deep/er/plans.outline": "*** deep first\n* [[my page][Mine]]\n",
    "empty.outline": "",
}


@pytest.fixture
def folder(tmp_path: Path) -> Path:
    source = tmp_path / "notes"
    for name, text in DOCUMENTS.items():
        path = source / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text, encoding="utf-8")
    (source / "readme.txt").write_text("* not an outline file\n")
    return source


def expected_fragment(name: str) -> str:
    """The fragment, and what follows it in the page: a page without headlines ends with a note."""
    return brelim.parse_string(DOCUMENTS[name]) + ("\n</main>" if name == "empty.outline" else "\n</body>")


def run_example(script: str, *args: object) -> subprocess.CompletedProcess:
    return subprocess.run(
        [sys.executable, str(EXAMPLES / script), *map(str, args)],
        capture_output=True,
        text=True,
        timeout=300,
        stdin=subprocess.DEVNULL,
    )


FOLDER_EXAMPLES = [
    pytest.param("convert_folder.py", ["--jobs", "2"], id="process-pool"),
    pytest.param("convert_folder_dask.py", [], id="dask-processes"),
]


def needs(script: str) -> None:
    if "dask" in script and importlib.util.find_spec("dask") is None:
        pytest.skip("dask is not installed here; scripts/test installs it for the installed-wheel run")


@pytest.mark.parametrize("script, options", FOLDER_EXAMPLES)
def test_converts_a_folder(script, options, folder: Path, tmp_path: Path):
    needs(script)
    target = tmp_path / "html"
    result = run_example(script, folder, target, *options)
    assert result.returncode == 0, result.stderr
    written = sorted(p.relative_to(target).as_posix() for p in target.rglob("*") if p.is_file())
    assert written == sorted(name.removesuffix(".outline") + ".html" for name in DOCUMENTS)
    for name in DOCUMENTS:
        page = (target / name).with_suffix(".html").read_text(encoding="utf-8")
        assert "\n" + expected_fragment(name) in page, name
    assert f"{len(DOCUMENTS)} of {len(DOCUMENTS)} documents converted" in result.stderr


def test_process_pool_reports_progress_per_document(folder: Path, tmp_path: Path):
    result = run_example("convert_folder.py", folder, tmp_path / "html", "--jobs", "2")
    assert result.returncode == 0, result.stderr
    progress = [line for line in result.stderr.splitlines() if line.startswith("[")]
    assert [line.split("]")[0] for line in progress] == [f"[{i}/{len(DOCUMENTS)}" for i in range(1, len(DOCUMENTS) + 1)]
    assert sorted(Path(line.split("] ", 1)[1]).relative_to(folder).as_posix() for line in progress) == sorted(DOCUMENTS)


@pytest.mark.parametrize("script, options", FOLDER_EXAMPLES)
def test_a_failing_document_is_reported_and_the_others_are_written(script, options, folder: Path, tmp_path: Path):
    needs(script)
    target = tmp_path / "html"
    (target / "inbox.html").mkdir(parents=True)  # the page cannot be written there
    (folder / "latin1.outline").write_bytes(b"* ok\n* caf\xe9\n")  # not UTF-8
    result = run_example(script, folder, target, *options)
    assert result.returncode == 1
    assert "inbox.outline" in result.stderr and "FAILED" in result.stderr
    assert "latin1.outline: line 2: not UTF-8" in result.stderr
    assert f"{len(DOCUMENTS) - 1} of {len(DOCUMENTS) + 1} documents converted" in result.stderr
    assert (target / "deep/er/plans.html").is_file() and not (target / "latin1.html").exists()


@pytest.mark.parametrize("script", ["convert_folder.py", "convert_folder_dask.py"])
def test_a_missing_source_folder_is_a_usage_error(script, tmp_path: Path):
    needs(script)
    result = run_example(script, tmp_path / "nowhere", tmp_path / "html")
    assert result.returncode == 2
    assert "is not a folder" in result.stderr


def test_converts_a_folder_on_a_dask_cluster(folder: Path, tmp_path: Path):
    distributed = pytest.importorskip(
        "distributed",
        reason="dask.distributed is not installed here; scripts/test installs it for the installed-wheel run",
    )
    target = tmp_path / "html"
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1", dashboard_address=None
    ) as cluster:
        result = run_example("convert_folder_dask.py", folder, target, "--cluster", cluster.scheduler_address)
    assert result.returncode == 0, result.stderr
    for name in DOCUMENTS:
        page = (target / name).with_suffix(".html").read_text(encoding="utf-8")
        assert "\n" + expected_fragment(name) in page, name
    assert f"{len(DOCUMENTS)} of {len(DOCUMENTS)} documents converted" in result.stderr


def test_the_readme_shows_what_the_command_says_of_its_shopping_example(tmp_path: Path):
    readme = (EXAMPLES.parent / "README.md").read_text(encoding="utf-8")
    shown = [line.removeprefix("    ") for line in readme.splitlines() if line.startswith("    $ brelim")]
    assert len([command for command in shown if "shopping.outline" in command]) == 2
    for command in (c for c in shown if "shopping.outline" in c):
        args = command.removeprefix("$ brelim ").replace("shopping.html", str(tmp_path / "shopping.html")).split()
        told = readme.split(command + "\n", 1)[1].split("\n    $", 1)[0].split("\n\n", 1)[0]
        result = subprocess.run(
            [sys.executable, "-m", "brelim_cli", *args], cwd=EXAMPLES, capture_output=True, text=True, timeout=120
        )
        assert result.stderr == "".join(line.removeprefix("    ") + "\n" for line in told.splitlines()), command
