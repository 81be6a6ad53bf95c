"""The memory floor of a document: the least that any conversion reading the
document and returning its fragment as a str must move, timed beside brelim.

Its bytes read once (a search for a byte no outline holds, which the C
library does at memory speed), the fragment's bytes written once into a
buffer of their size, and the str made from that buffer (one more copy), as
brelim makes the result of a fragment too large to write in place.
"""

from __future__ import annotations

import ctypes
import time


class MemoryFloor:
    def __init__(self, data: bytes, fragment: str) -> None:
        if 0 in data:
            raise ValueError("the floor's read looks for a NUL byte, which the document must not hold")
        self.data = data
        self.fragment = fragment.encode()
        self.buffer = bytearray(len(self.fragment))
        self.view = (ctypes.c_char * len(self.buffer)).from_buffer(self.buffer) if self.buffer else None

    def seconds(self) -> float:
        """Seconds for the floor once; the str is released outside the timing."""
        start = time.perf_counter()
        self.data.find(0)
        if self.view is not None:
            ctypes.memset(self.view, 0x20, len(self.buffer))
        made = self.fragment.decode()
        elapsed = time.perf_counter() - start
        del made
        return elapsed

    def release(self) -> None:
        """Lets the buffer go; the ctypes view holds it exported until then."""
        self.view = None
        self.buffer = bytearray()
