"""`brelim FOLDER -o OUT --site`: a folder of notes as a site to browse, its links between notes resolved."""

from brelim_cli.site.build import build_site
from brelim_cli.site.options import SiteOptions

__all__ = ["SiteOptions", "build_site"]
