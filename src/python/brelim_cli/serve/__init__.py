"""`brelim NOTES --serve`: the site of the notes served on this machine, rebuilt as they are saved."""

from brelim_cli.serve.preview import serve_site

__all__ = ["serve_site"]
