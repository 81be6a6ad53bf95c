"""What the Python tests share."""

import importlib
import os
import re
import signal
import subprocess
import sys
import textwrap

import pytest

from tables import rows

# A line that is used, told without the module: a run of headlines. Group 1
# holds the first headline's asterisks.
PLAIN = r"[A-Za-z0-9 \"%&'()+,\-./:=?_]"
INLINE = rf"(?:\[\[{PLAIN}+\]\[{PLAIN}+\]\]|\[\[{PLAIN}+\]\]|#[A-Za-z0-9]+|{PLAIN})+"
HEADLINES = re.compile(rf"(\*{{1,4}}){INLINE}(?:\*{{1,4}}{INLINE})*")

# A run started in the background by a shell without job control ignores
# SIGINT, and so would every command these tests start, which the tests of
# Ctrl-C need to handle it: such a run gives it its default handling back.
if signal.getsignal(signal.SIGINT) is signal.SIG_IGN:
    signal.signal(signal.SIGINT, signal.default_int_handler)


class Outer:  # Outer.Inner: a qualified name for TypeError messages
    class Inner:
        pass


def table(name: str) -> list:
    """The rows of tests/tables/<name> as pytest parameters named after their lines."""
    return [pytest.param(row.given, row.expected, id=row.where) for row in rows(name)]


def run_python(code: str, *args: str) -> subprocess.CompletedProcess:
    """`code`, dedented, run by this interpreter in a process of its own."""
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code), *args], capture_output=True, check=False, text=True, timeout=300
    )


@pytest.fixture(scope="module")
def browser():
    """Debian's chromium, headless, driven through its chromedriver (tests marked `browser`)."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    os.environ["SE_OFFLINE"] = "true"  # selenium's manager must never fetch a browser or a driver
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1000,760"):
        options.add_argument(argument)
    driver = webdriver.Chrome(options=options, service=Service("/usr/bin/chromedriver"))
    yield driver
    driver.quit()


@pytest.hookimpl(tryfirst=True)  # before -m reads the markers
def pytest_collection_modifyitems(items):
    """Every test of the installed command (test_command's fixture) is marked `command`."""
    for item in items:
        if "installed_command" in getattr(item, "fixturenames", ()):
            item.add_marker(pytest.mark.command)


def pytest_runtest_setup(item):
    for mark in item.iter_markers("needs"):
        for name in mark.args:
            if name.startswith("/"):
                if not os.path.exists(name):
                    pytest.skip(f"needs {name}, which this system has not")
            else:
                try:
                    importlib.import_module(name)
                except ImportError:
                    pytest.skip(f"needs the module {name}, which this system has not")
