"""Peak memory of one conversion.

Measured in a fresh interpreter, so that nothing of this process's history
(freed arenas, cached buffers) hides or adds memory. The child builds the
document, hands freed heap memory back to the system, resets the resident-set
high-water mark (writing 5 to /proc/self/clear_refs) and runs one
conversion; (VmHWM after - VmRSS before) is the conversion's peak.
"""

from __future__ import annotations

import contextlib
import ctypes
import gc
import json
import sys
from collections.abc import Callable

import brelim
from benchmarks import documents
from benchmarks.harness import MB, child, note
from benchmarks.machine import proc_fields
from benchmarks.tables import MEMORY_ALLOWANCE, MEMORY_TARGET, verdict

# Documents of one line of about the --size: whatever the conversion keeps
# per token of a line shows here in full.
MEMORY_LINES: list[tuple[str, str, str]] = [
    # (the document, as Python, what comes before the repeated piece, the piece)
    ('"* " + "[[x]]"*n', "* ", "[[x]]"),
    ('"* " + "[[abcdefgh][ijklmnop]] "*n', "* ", "[[abcdefgh][ijklmnop]] "),
    ('"* " + "#a"*n', "* ", "#a"),
    ('"* a #b "*n', "", "* a #b "),
]
MEMORY_DOCUMENTS = ("notes, ASCII", "notes, one non-ASCII character", *(label for label, _, _ in MEMORY_LINES))
PROBE_SIZE = 16 * 2**20  # the control: a buffer of known size written in full


def memory_document(kind: int, size: int, seed: int) -> str:
    """Document `kind` of MEMORY_DOCUMENTS, of about `size` bytes."""
    if kind < 2:
        document = documents.outline("notes", size, seed)
        return "* caf\u00e9\n" + document if kind == 1 else document
    _, head, piece = MEMORY_LINES[kind - 2]
    return head + piece * max(1, (size - len(head)) // len(piece))


def _status() -> dict[str, int]:
    fields = proc_fields("/proc/self/status")
    return {key: int(fields[key].split()[0]) * 1024 for key in ("VmRSS", "VmHWM")}


def _peak_of(work: Callable) -> dict[str, int]:
    gc.collect()
    with contextlib.suppress(OSError, AttributeError):  # not glibc: the figure may read a little low
        ctypes.CDLL(None).malloc_trim(0)
    before = _status()
    with open("/proc/self/clear_refs", "w") as clear_refs:
        clear_refs.write("5")  # resets the high-water mark
    reset = _status()
    result = work()
    after = _status()
    return {
        "rss_before": before["VmRSS"],
        "hwm_before_reset": before["VmHWM"],
        "hwm_after_reset": reset["VmHWM"],
        "hwm_after": after["VmHWM"],
        "extra": after["VmHWM"] - before["VmRSS"],
        "result": len(result),
    }


def memory_child(size: int, seed: int, kind: int) -> None:
    """Prints, as JSON, the peaks of the control and of one conversion of document `kind`."""
    document = memory_document(kind, size, seed)
    try:
        probe = _peak_of(lambda: b"x" * PROBE_SIZE)
        conversion = _peak_of(lambda: brelim.parse_string(document))
    except (OSError, KeyError) as error:  # no /proc, or no VmHWM in it
        json.dump({"document": len(document), "error": str(error) or type(error).__name__}, sys.stdout)
        return
    json.dump(
        {"document": len(document), "probe_size": PROBE_SIZE, "probe": probe, "conversion": conversion}, sys.stdout
    )


def _warn_if_unmeasurable(report: dict) -> None:
    probe = report["probe"]
    probe_ratio = probe["extra"] / report["probe_size"]
    works = probe["hwm_after_reset"] < probe["hwm_before_reset"] or probe["hwm_before_reset"] == probe["rss_before"]
    if not 0.95 < probe_ratio < 1.1:
        note(
            f"warning: the control buffer of {report['probe_size']} bytes raised the high-water mark by "
            f"{probe['extra']} bytes; the memory figures may be wrong here"
        )
    if not works:
        note("warning: the high-water mark did not reset; the memory figures may be wrong here")


def memory(size: int, seed: int, verbose: bool) -> list[str]:
    rows = []
    for kind, label in enumerate(MEMORY_DOCUMENTS):
        report = json.loads(child("memory", size, seed, kind))
        name = label if kind < 2 else f"`{label}`"
        if "error" in report:
            rows.append(
                f"| {name} | {report['document'] / MB:.1f} MB | not measurable here: {report['error']} | | | | | |"
            )
            continue
        extra, output = report["conversion"]["extra"], report["conversion"]["result"]
        probe_ratio = report["probe"]["extra"] / report["probe_size"]
        if verbose:
            note(f"  memory ({label}): {json.dumps(report)}")
        _warn_if_unmeasurable(report)
        if kind == 1:
            limit, met = "none: the document's UTF-8 copy is expected", ""
        else:
            allowed = MEMORY_TARGET * output + MEMORY_ALLOWANCE
            limit, met = f"{allowed / MB:,.2f}", verdict(extra <= allowed)
        # Over an output smaller than the allowance, the share says nothing.
        share = f"{extra / output:,.2f}x" if output >= MEMORY_ALLOWANCE else ""
        rows.append(
            f"| {name} | {report['document'] / MB:.1f} MB | {output / MB:,.2f} | {extra / MB:,.2f} | "
            f"{share} | {limit} | {met} | {probe_ratio:.2f} |"
        )
    return [
        "Peak extra memory of one conversion, in a fresh process: resident-set high-water mark",
        "after the call (reset just before it) less the resident set before it. The limit is",
        f"{MEMORY_TARGET} times the output plus {MEMORY_ALLOWANCE / MB:.0f} MB, on every document. The control is the same",
        "measure for a 16 MiB buffer, over its size; it should read 1.00. Extra / output is shown",
        f"for outputs of {MEMORY_ALLOWANCE / MB:.0f} MB or more.",
        "",
        "| Document | Size | Output MB | Extra MB | Extra / output | Limit MB | Met | Control |",
        "|---|---:|---:|---:|---:|---:|---|---:|",
        *rows,
    ]
