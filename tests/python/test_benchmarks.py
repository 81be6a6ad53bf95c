"""The benchmark documents and a small run of the benchmark command.

Nothing here is timed: the numbers are the benchmark's business, these
tests only keep its documents honest and its command working.
"""

import re
import subprocess
import sys
from pathlib import Path

import pytest

import brelim
from conftest import HEADLINES

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT))

from benchmarks import (  # noqa: E402
    documents,
    harness,
    levels,
    lines,
    machine,
    memory,
    parts,
    programs,
    scaling,
    small,
)
from benchmarks.memory_floor import MemoryFloor  # noqa: E402
from benchmarks.peer import cmarkgfm  # noqa: E402

SIZE = 40_000


def items(document):
    """Lines that become list items: headlines whose first level is 1 to 3."""
    return [line for line in document.split("\n") if HEADLINES.fullmatch(line) and not line.startswith("****")]


@pytest.mark.parametrize("shape", documents.SHAPES)
def test_documents_are_deterministic_ascii_and_sized(shape):
    document = documents.outline(shape, SIZE)
    assert document == documents.outline(shape, SIZE)
    assert document != documents.outline(shape, SIZE, seed=7)
    assert document.isascii()
    assert document.endswith("\n")
    last_line = document[:-1].rsplit("\n", 1)[-1]
    assert SIZE <= len(document) <= SIZE + len(last_line) + 1


@pytest.mark.parametrize("shape, least", [("notes", 0.3), ("prose", 0.01), ("links", 0.99), ("long", 0.99)])
def test_headlines_are_what_the_shape_promises(shape, least):
    document = documents.outline(shape, SIZE)
    lines = document[:-1].split("\n")
    written = items(document)
    assert len(written) >= least * len(lines)
    assert brelim.parse_string(document).count("<li>") == len(written)
    if shape != "prose":
        # Nearly every headline is usable; the notes keep a few that are not.
        headlines = [line for line in lines if line.startswith("*")]
        assert len(written) >= 0.95 * len([h for h in headlines if not h.startswith("****")])
    if shape == "long":
        assert min(len(line) for line in lines) >= 10_000


def test_notes_have_every_construct():
    document = documents.outline("notes", SIZE)
    for construct in ("\n** ", "\n*** ", "\n**** ", "\n\n", "][", "[[https://", "?", "#"):
        assert construct in document
    assert re.search(r"\[\[[^]]+\]\]", document)  # links without a description too


def test_markdown_is_the_same_notes():
    outline = documents.outline("notes", SIZE).split("\n")
    markdown = documents.markdown("notes", SIZE).split("\n")
    assert len(markdown) == len(outline)
    for source, written in zip(outline, markdown, strict=True):
        level = len(source) - len(source.lstrip("*"))
        if level:
            assert written.startswith("  " * (level - 1) + "- ")
        else:
            assert written.strip() == source
    links = sum(line.count("[[") for line in outline if line.startswith("*"))
    assert links and sum(line.count("](") for line in markdown if line.lstrip().startswith("- ")) == links


def run(*arguments):
    completed = subprocess.run(
        [sys.executable, str(ROOT / "benchmarks" / "run.py"), *arguments],
        capture_output=True,
        check=False,
        text=True,
        timeout=300,
    )
    assert completed.returncode == 0, completed.stderr
    return completed.stdout


def test_the_benchmark_runs_on_a_small_size():
    output = run("--size", "0.05", "--repeat", "1", "--parts", "throughput", "--shapes", "notes,long")
    assert "| notes | 0.1 MB |" in output and "| prose |" not in output
    assert "| notes, 1 MB | 1.0 MB |" in output
    long_row = next(line for line in output.splitlines() if line.startswith("| long |"))
    # Every row ends with the memory floor's MB/s and brelim's time as a multiple of it.
    for row in (line for line in output.splitlines() if line.startswith(("| notes", "| long |"))):
        floor_rate, multiple = row.split("|")[-3:-1]
        assert float(floor_rate.replace(",", "")) > 0 and float(multiple.strip().removesuffix("x")) > 0
    if cmarkgfm is not None:
        assert re.search(r"\| [\d.]+x \| >= 25x \| (yes|\*\*no\*\*) \|", long_row)
        assert "| cmarkgfm.markdown_to_html |" in output


@pytest.mark.command
def test_the_site_part_runs_on_a_small_folder():
    output = run("--parts", "site", "--site-notes", "20")
    rows = [line for line in output.splitlines() if line.startswith(("| plain |", "| site |"))]
    assert len(rows) == 2 and re.search(r"\| [\d.]+x \(median of 3\) \|$", rows[1])


def test_the_small_documents_table_runs():
    output = run("--parts", "small", "--repeat", "1")
    rows = [
        [cell.strip() for cell in line.strip("|").split("|")]
        for line in output.splitlines()
        if re.match(r"\| .+ \| [\d,]+ B \|", line)
    ]
    assert [row[0] for row in rows] == [label for label, _ in small.SMALL_DOCUMENTS]
    for row, (_, size) in zip(rows, small.SMALL_DOCUMENTS, strict=True):
        assert int(row[1].rstrip(" B").replace(",", "")) >= max(size, 3)
        ratio = float(row[6].rstrip("x"))
        assert ratio == pytest.approx(float(row[2].replace(",", "")) / float(row[4].replace(",", "")), rel=0.05)
        assert row[7:] == (["<= 3x", "yes" if ratio <= 3 else "**no**"] if size == 0 else ["", ""])


@pytest.mark.parametrize("kind", range(2, len(memory.MEMORY_DOCUMENTS)))
def test_single_line_memory_documents_are_one_line_of_the_size(kind):
    document = memory.memory_document(kind, SIZE, documents.DEFAULT_SEED)
    piece = memory.MEMORY_LINES[kind - 2][2]
    assert document.startswith("* ") and "\n" not in document
    assert SIZE - len(piece) < len(document) <= SIZE


def test_the_load_average_is_unknown_where_the_system_has_none(monkeypatch):
    monkeypatch.delattr(machine.os, "getloadavg")  # Windows
    assert machine.load_average() == "unknown"


@pytest.mark.needs("/proc/self/clear_refs")
def test_the_memory_measure_runs():
    output = run("--size", "0.05", "--parts", "memory")
    rows = [line for line in output.splitlines() if re.match(r"\| .+ \| [\d.]+ MB \|", line)]
    assert [row.split(" | ")[0][2:] for row in rows] == [
        label if kind < 2 else f"`{label}`" for kind, label in enumerate(memory.MEMORY_DOCUMENTS)
    ]
    for row in rows:
        cells = row.split(" | ")
        output_mb, extra_mb, limit, met = cells[2], cells[3], cells[5], cells[6]
        if "non-ASCII" in row:
            assert limit.startswith("none") and not met.strip()
        else:
            assert float(limit) == pytest.approx(2.2 * float(output_mb) + 1, abs=0.01)
            # Shown to two places, a figure at the limit may round onto it either way.
            shown = float(extra_mb) - float(limit)
            assert met in (("yes",) if shown < 0 else ("**no**",) if shown > 0 else ("yes", "**no**"))


@pytest.mark.parametrize(
    "ratios, growth, verdict",
    [
        ([2.0, 2.3], 2.0, "linear"),
        ([2.0, 2.4], 2.0, "**superlinear in a warm server**"),
        ([2.4, 2.0], 2.0, "**superlinear with a resident heap**"),
        ([2.5, 2.6], 2.0, "**superlinear**"),
        ([4.8, 2.0], 4.0, "**superlinear: the output grows 4.0x**"),
    ],
)
def test_both_scaling_columns_decide_the_verdict(ratios, growth, verdict):
    assert scaling.scaling_verdict(ratios, growth) == verdict


MIB = 2**20


@pytest.mark.parametrize(
    "outputs, utf8, n",
    [
        ((25 * MIB, 50 * MIB), (0, 0), 4096),  # the result crosses 32 MiB, then 64 MiB: 4n and 8n
        ((40 * MIB, 80 * MIB), (0, 0), 2048),  # and 64 MiB
        ((20 * MIB, 40 * MIB), (0, 0), 4096),  # the same from lower down
        ((10 * MIB, 20 * MIB), (0, 0), 1024),  # below them at both
        ((1, 1), (20 * MIB, 40 * MIB), 4096),  # a non-ASCII document's UTF-8 copy crosses them
        ((25 * MIB, 200 * MIB), (0, 0), 1024),  # quadratic output: left as it is
        ((100 * MIB, 200 * MIB), (0, 0), 1024),  # doubling would pass the cap
    ],
)
def test_the_warm_server_steps_over_the_allocator_thresholds(outputs, utf8, n):
    result = {"index": 0, "n": 1024, "calls": 1, "output": list(outputs), "utf8": list(utf8)}
    assert scaling.server_plan(result, 256 * MIB)["n"] == n


def test_the_warm_server_runs_with_the_allocator_defaults(monkeypatch):
    for key, value in {**scaling.WARM_HEAP, "GLIBC_TUNABLES": "glibc.malloc.mmap_max=0", "KEPT": "1"}.items():
        monkeypatch.setenv(key, value)
    environment = scaling.plain_environment()
    assert environment["KEPT"] == "1"
    assert not {"GLIBC_TUNABLES", *scaling.WARM_HEAP} & set(environment)


def test_the_scaling_table_runs():
    output = run(
        "--parts", "scaling", "--repeat", "1", "--case", '"* a"*n', "--scaling-min-ms", "1", "--scaling-max-mb", "1"
    )
    row = next(line for line in output.splitlines() if line.startswith('| `"* a"*n` |'))
    assert re.search(r"\| \d+\.\d\d \| \d+\.\d\d \| (linear|\*\*superlinear)", row)


@pytest.mark.parametrize(
    "source_lines, count, document",
    [
        (("* a",), 3, "* a\n* a\n* a\n"),
        (("* a", "** b", "*** c"), 4, "* a\n** b\n*** c\n* a\n"),
        (("* a", "** b", "*** c"), 2, "* a\n** b\n"),
    ],
)
def test_short_line_documents_take_the_lines_in_turn(source_lines, count, document):
    assert lines.lines_document(source_lines, count) == document


def test_short_line_items_are_the_same_in_both_formats():
    for _, outline_lines, markdown_lines, _ in lines.LINE_SHAPES:
        html = brelim.parse_string(lines.lines_document(outline_lines, 3))
        assert html.count("<li>") == 3
        if cmarkgfm is not None:
            peer = cmarkgfm.markdown_to_html(lines.lines_document(markdown_lines, 3))
            assert peer.count("<li>") == 3 and peer.count("<a ") == html.count("<a ")


def floor_stand_in(tmp_path, body):
    """A stand-in for brelim_floor that runs `body` with the paths in `paths`."""
    program = tmp_path / "brelim_floor"
    program.write_text(f"#!{sys.executable}\nimport json, sys\npaths = sys.argv[3:]\n{body}\n")
    program.chmod(0o755)
    return program


def test_the_short_lines_table_runs(monkeypatch, tmp_path):
    # The floor takes the plain shapes, the first three, and refuses the others.
    program = floor_stand_in(
        tmp_path,
        "for i, path in enumerate(paths):\n    print(json.dumps({'file': path, 'seconds': 1e-6 if i < 3 else None}))",
    )
    monkeypatch.setattr(programs, "build", lambda target, verbose: program)
    output = "\n".join(lines.short_lines(300, 1, False))
    rows = [
        [cell.strip() for cell in line.strip("|").split("|")]
        for line in output.splitlines()
        if re.match(r"\| `\*", line)
    ]
    assert [row[0] for row in rows] == [label for label, *_ in lines.LINE_SHAPES]
    assert [row[1] for row in rows] == ["4 B", "5 B", "31 B", "13 B", "22 B"]
    for row, (*_, target) in zip(rows, lines.LINE_SHAPES, strict=True):
        assert row[3:5] == [f"<= {target} ns", "yes" if float(row[2]) <= target else "**no**"]
    floor_ns = 1e-6 / 300 * 1e9
    for row in rows[:3]:
        ratio = float(row[10].removesuffix("x"))
        assert ratio == pytest.approx(float(row[2].replace(",", "")) / floor_ns, rel=0.05)
        assert [row[9], *row[11:13]] == [f"{floor_ns:,.1f}", "<= 1.3x", "yes" if ratio <= 1.3 else "**no**"]
    assert [row[9:] for row in rows[3:]] == [["", "", "", ""]] * 2


def test_the_short_lines_table_says_why_the_floor_is_missing(monkeypatch, tmp_path):
    program = floor_stand_in(tmp_path, "sys.exit('brelim_floor: another fragment')")
    monkeypatch.setattr(programs, "build", lambda target, verbose: program)
    output = lines.short_lines(10, 1, False)
    assert "Floor: not measured, brelim_floor failed (status 1): brelim_floor: another fragment." in output


def test_the_levels_table_puts_each_level_beside_the_best():
    results = [
        {"file": "a", "level": "scalar", "bytes": 2 * harness.MB, "mbps": 500.0},
        {"file": "a", "level": "ssse3", "bytes": 2 * harness.MB, "mbps": 2000.0},
        {"file": "b", "level": "scalar", "bytes": 10**5, "mbps": 100.0},
    ]
    header, _, *rows = levels.levels_table({"a": "notes", "b": "links"}, results)
    assert [header, *rows] == [
        "| Shape | Document | scalar MB/s | ssse3 MB/s | scalar / ssse3 |",
        "| notes | 2.0 MB | 500 | 2,000 | 0.25 |",
        "| links | 0.1 MB | 100 | n/a | n/a |",
    ]


def test_the_levels_part_is_skipped_without_cmake(monkeypatch):
    monkeypatch.setattr(programs.shutil, "which", lambda name: None)
    assert levels.levels(["notes"], SIZE, 1, documents.DEFAULT_SEED, False) == [
        "Levels: skipped, cmake is not installed."
    ]


def test_the_levels_part_says_why_cmake_failed(monkeypatch):
    monkeypatch.setattr(programs.shutil, "which", lambda name: "cmake")
    monkeypatch.setattr(
        programs.subprocess, "run", lambda *a, **k: subprocess.CompletedProcess(a, 1, "", "no compiler")
    )
    assert (
        programs.build("brelim_levels", False)
        == "cmake could not configure a build (no C++ compiler?) (-v shows cmake's output)"
    )


def test_the_levels_part_tables_what_the_program_printed_and_its_failure(monkeypatch, tmp_path):
    # A stand-in for brelim_levels: one level per file, then a mismatch reported.
    program = tmp_path / "brelim_levels"
    program.write_text(
        f"#!{sys.executable}\nimport json, os, sys\n"
        "for path in sys.argv[3:]:\n"
        "    print(json.dumps({'file': path, 'level': 'scalar', 'bytes': os.path.getsize(path), 'mbps': 100.0}))\n"
        "sys.exit('brelim_levels: the sse2 level gives another fragment')\n"
    )
    program.chmod(0o755)
    monkeypatch.setattr(programs, "build", lambda target, verbose: program)
    lines = levels.levels(["notes", "links"], SIZE, 1, documents.DEFAULT_SEED, False)
    assert [line.split(" | ")[0] for line in lines if line.startswith("| ") and "MB/s" not in line] == [
        "| notes",
        "| links",
        "| notes, 1 MB",
    ]
    assert lines[-1] == "**brelim_levels failed** (status 1): brelim_levels: the sse2 level gives another fragment"


def test_the_package_runs_as_a_module_and_documents_its_parts():
    completed = subprocess.run(
        [sys.executable, "-m", "benchmarks", "--parts", "throughput", "--shapes", "prose", "--size", "0.01"],
        capture_output=True,
        check=False,
        text=True,
        timeout=300,
        cwd=ROOT,
    )
    assert completed.returncode == 0, completed.stderr
    assert "- Command: `python3 -m benchmarks --parts throughput" in completed.stdout
    assert "| prose | 0.0 MB |" in completed.stdout
    readme = (ROOT / "benchmarks" / "README.md").read_text()
    assert f"`--parts {','.join(parts.PARTS)}`" in readme


def test_instructions_are_not_counted_without_valgrind(monkeypatch, tmp_path):
    monkeypatch.setenv("PATH", str(tmp_path))
    assert harness.instructions("count", 0, 1024, True) is None


@pytest.mark.parametrize("data, fragment", [(b"* a\n", "<ul>\n<li>a</li>\n</ul>\n"), (b"prose\n", ""), (b"", "")])
def test_the_memory_floor_times_any_document_and_fragment(data, fragment):
    floor = MemoryFloor(data, fragment)
    assert floor.seconds() > 0
    floor.release()


def test_the_memory_floor_refuses_a_document_with_the_byte_it_looks_for():
    with pytest.raises(ValueError, match="NUL byte"):
        MemoryFloor(b"* a\0\n", "")
