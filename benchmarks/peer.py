"""The peer that the tables set brelim beside: cmarkgfm, or None where it is
not installed (its rows say so)."""

try:
    import cmarkgfm
except ImportError:
    cmarkgfm = None

__all__ = ["cmarkgfm"]
