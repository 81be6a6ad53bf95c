"""Deterministic outline documents for the benchmarks.

Every shape is a stream of line models drawn from a seeded random generator,
so the same shape, size and seed always give the same bytes. A model is
rendered either as an outline line (what brelim reads) or, for the peer, as
a line of a Markdown nested list holding the same words and links.

Line models:
    ("head", level, parts)   a headline; parts are ("words", text),
                             ("tag", word), ("link", target, description or
                             None) and ("raw", text) for text written as it
                             stands in both formats
    ("prose", text)          a line that is no headline
    ("blank",)               an empty line

All documents are ASCII and end with a line feed.
"""

from __future__ import annotations

import random
from collections.abc import Callable, Iterator

from benchmarks.words import HOSTS, NOISE, PATH_WORDS, PUNCT_WORDS, TAGS, WORDS

SHAPES = ("notes", "prose", "links", "long")
DEFAULT_SEED = 20240517


def _sentence(rng: random.Random, low: int, high: int) -> str:
    return " ".join(rng.choices(WORDS, k=rng.randint(low, high)))


def _target(rng: random.Random) -> str:
    roll = rng.random()
    if roll < 0.45:
        path = "/".join(rng.choices(PATH_WORDS, k=rng.randint(1, 3)))
        return path + rng.choice((".txt", ".org", ".md", ""))
    if roll < 0.75:
        return _sentence(rng, 1, 3).title()  # a page name with blanks, which the href percent-encodes
    host = rng.choice(HOSTS)
    path = "/".join(rng.choices(PATH_WORDS, k=rng.randint(0, 3)))
    url = f"https://{host}/{path}"
    if rng.random() < 0.7:
        query = "&".join(f"{rng.choice(PATH_WORDS)}={rng.choice(WORDS)}" for _ in range(rng.randint(1, 3)))
        url += "?" + query
    return url


def _link(rng: random.Random) -> tuple:
    target = _target(rng)
    return ("link", target, _sentence(rng, 1, 4) if rng.random() < 0.6 else None)


def _notes_headline(rng: random.Random, level: int) -> tuple:
    parts: list[tuple] = [("words", " " + _sentence(rng, 2, 9).capitalize())]
    if rng.random() < 0.12:
        parts.append(("words", " " + rng.choice(PUNCT_WORDS) + " " + _sentence(rng, 1, 3)))
    if rng.random() < 0.25:
        parts += [("words", " see "), _link(rng)]
        if rng.random() < 0.3:
            parts.append(("words", " " + _sentence(rng, 1, 4)))
    for _ in range(rng.choices((0, 1, 2), weights=(70, 22, 8))[0]):
        parts += [("words", " "), ("tag", rng.choice(TAGS))]
    if rng.random() < 0.02:
        parts.append(("raw", " " + rng.choice(NOISE)))
    return ("head", level, parts)


def _prose_line(rng: random.Random) -> str:
    line = _sentence(rng, 6, 18).capitalize()
    roll = rng.random()
    if roll < 0.1:
        line += "; " + _sentence(rng, 3, 8)
    elif roll < 0.15:
        line += " #" + rng.choice(TAGS)
    elif roll < 0.2:
        line += " * " + _sentence(rng, 2, 5)
    elif roll < 0.25:
        line += " [[" + _target(rng) + "]]"
    return line + rng.choice((".", ".", ".", "!", "?", ":"))


def _next_level(rng: random.Random, level: int) -> int:
    # Mostly stay or go one deeper, sometimes climb back out.
    if level == 0:
        return 1
    choices = [1, 2, 3, 4]
    weights = [12, 30, 30, 6]
    weights[min(level, 3)] += 25  # one deeper
    weights[level - 1] += 20  # same level
    return rng.choices(choices[: level + 1], weights=weights[: level + 1])[0]


def notes_models(rng: random.Random) -> Iterator[tuple]:
    """A notes file: sections of headlines of levels 1 to 4, prose, empty lines."""
    level = 0
    while True:
        level = _next_level(rng, level)
        yield _notes_headline(rng, level)
        roll = rng.random()
        if roll < 0.3:
            for _ in range(rng.randint(1, 3)):
                yield ("prose", _prose_line(rng))
            yield ("blank",)
        elif roll < 0.45:
            yield ("blank",)


def prose_models(rng: random.Random) -> Iterator[tuple]:
    """Mostly prose paragraphs; a headline now and then, and a few bullets."""
    while True:
        roll = rng.random()
        if roll < 0.06:
            yield _notes_headline(rng, rng.randint(1, 3))
        elif roll < 0.1:
            yield ("prose", "- " + _sentence(rng, 3, 10))
        else:
            for _ in range(rng.randint(2, 8)):
                yield ("prose", _prose_line(rng))
        yield ("blank",)


def links_models(rng: random.Random) -> Iterator[tuple]:
    """Headlines dense with links and hashtags, few words between them."""
    level = 0
    while True:
        level = rng.randint(1, 3) if level else 1
        parts: list[tuple] = []
        for i in range(rng.randint(3, 8)):
            parts.append(("words", rng.choice((" ", " ", " and ", ", ", " see ", " - ")) if i else " "))
            roll = rng.random()
            if roll < 0.55:
                parts.append(_link(rng))
            elif roll < 0.9:
                parts.append(("tag", rng.choice(TAGS)))
            else:
                parts.append(("words", rng.choice(WORDS)))
        yield ("head", level, parts)


def long_models(rng: random.Random) -> Iterator[tuple]:
    """Headlines of tens of kilobytes: long runs of words with some links and tags."""
    level = 0
    while True:
        level = rng.randint(1, 3) if level else 1
        goal = rng.randint(10_000, 60_000)
        parts: list[tuple] = []
        length = 0
        while length < goal:
            words = " " + _sentence(rng, 20, 120)
            parts.append(("words", words))
            length += len(words)
            roll = rng.random()
            if roll < 0.3:
                parts += [("words", " "), ("tag", rng.choice(TAGS))]
                length += 12
            elif roll < 0.55:
                parts += [("words", " "), _link(rng)]
                length += 40
        yield ("head", level, parts)


MODELS: dict[str, Callable[[random.Random], Iterator[tuple]]] = {
    "notes": notes_models,
    "prose": prose_models,
    "links": links_models,
    "long": long_models,
}


def outline_line(model: tuple) -> str:
    kind = model[0]
    if kind == "blank":
        return ""
    if kind == "prose":
        return model[1]
    _, level, parts = model
    pieces = ["*" * level]
    for part in parts:
        if part[0] == "tag":
            pieces.append("#" + part[1])
        elif part[0] == "link":
            _, target, description = part
            pieces.append(f"[[{target}][{description}]]" if description else f"[[{target}]]")
        else:
            pieces.append(part[1])
    return "".join(pieces)


def _markdown_target(target: str) -> str:
    return f"<{target}>" if " " in target else target


def markdown_line(model: tuple, state: list[int]) -> str:
    """The model as a line of a Markdown nested list; `state` holds the
    current depth, so prose continues the item above it."""
    kind = model[0]
    if kind == "blank":
        return ""
    if kind == "prose":
        return "  " * state[0] + model[1]
    _, level, parts = model
    state[0] = level
    pieces = ["  " * (level - 1), "- "]
    for i, part in enumerate(parts):
        if part[0] == "tag":
            pieces.append("#" + part[1])
        elif part[0] == "link":
            _, target, description = part
            pieces.append(f"[{description or target}]({_markdown_target(target)})")
        else:
            text = part[1]
            # The outline's blank after the asterisks is the list marker's own.
            pieces.append(text[1:] if i == 0 and text.startswith(" ") else text)
    return "".join(pieces)


def _models(shape: str, seed: int) -> Iterator[tuple]:
    if shape not in MODELS:
        raise ValueError(f"unknown shape {shape!r}; known: {', '.join(SHAPES)}")
    return MODELS[shape](random.Random(f"{shape}:{seed}"))


def _take(shape: str, size: int, seed: int) -> Iterator[tuple]:
    """The models of a document of about `size` bytes: lines are taken
    until the outline text reaches the size."""
    total = 0
    for model in _models(shape, seed):
        if total >= size:
            return
        total += len(outline_line(model)) + 1
        yield model


def outline(shape: str, size: int, seed: int = DEFAULT_SEED) -> str:
    """The outline document of a shape, at least `size` bytes (one line more)."""
    return "".join(outline_line(m) + "\n" for m in _take(shape, size, seed))


def markdown(shape: str, size: int, seed: int = DEFAULT_SEED) -> str:
    """The same document as `outline(shape, size, seed)`, as a Markdown nested list."""
    state = [0]
    return "".join(markdown_line(m, state) + "\n" for m in _take(shape, size, seed))
