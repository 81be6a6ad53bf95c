"""The `brelim` command, and the helpers it is made of: outline files in, HTML pages (or bare fragments) out.

Scripts that convert files their own way (a Dask bag, say) reuse the
helpers: `convert_file`, `outline_files`, `html_path`, `read_outline`,
`render_page`, `write_file`. Every failure of one file is a
`ConversionError` whose message is one line that names the file.

The modules: `convert` (reading, rendering and writing one document),
`search` (the files a folder gives), `page` (the HTML page around a
fragment), `targets` (how pages are written), `left_out` (the headlines a
document loses), and the command's own: `command` (a run), `options` (its
arguments), `sources` (the jobs a run converts), `run` and `pool` (the
worker processes), `report` (what the user is told) and `signals` (how a run
stops).
"""

# First of all, before anything slow is imported: from here on, a Ctrl-C
# ends the command with one line rather than a traceback.
from brelim_cli.start import end_quietly_on_ctrl_c

end_quietly_on_ctrl_c()

from brelim_cli.command import main
from brelim_cli.convert import convert_file, html_path, read_outline
from brelim_cli.errors import ConversionError
from brelim_cli.page import render_page
from brelim_cli.search import outline_files
from brelim_cli.targets import write_file

__all__ = [
    "ConversionError",
    "convert_file",
    "html_path",
    "main",
    "outline_files",
    "read_outline",
    "render_page",
    "write_file",
]
