"""Reading whole catalogues of element sets: two- and three-line TLE files, OMM JSON arrays and
OMM CSV files (one record a row, OMM keywords as column names).

A bad record does not stop the file: it is listed among the refused records with its place in
the file and the reader's own error text, and the rest is read.
"""

from __future__ import annotations

import csv
import io
import json
import os
from dataclasses import dataclass, field
from typing import IO, Callable, Iterator, NamedTuple, Union

from satvane._satvane import Elements, Predictor, Tle

CatalogSource = Union[str, bytes, "os.PathLike[str]", IO[str], IO[bytes]]


class CatalogSatellite(NamedTuple):
    """One satellite read from a catalogue."""

    name: str
    """Its OBJECT_NAME (the TLE name line), or "NORAD <catalogue number>" when it has none."""
    elements: Elements
    predictor: Predictor
    record: int
    """Its record number in the file, counted from 1 over every record, refused ones included."""


class RefusedRecord(NamedTuple):
    """A record that could not be read."""

    record: int
    """Record number, counted from 1 over every record of the file."""
    line: int
    """Line of the file on which the record starts, counted from 1."""
    error: str
    """Why: the TLE parser's, the OMM reader's or the SGP4 initialisation's text."""


@dataclass(frozen=True)
class Catalog:
    """The satellites of a catalogue and the records refused, in file order."""

    satellites: list[CatalogSatellite] = field(default_factory=list)
    refused: list[RefusedRecord] = field(default_factory=list)
    format: str = ""
    """"tle", "omm-json" or "omm-csv"."""

    @property
    def satellite_count(self) -> int:
        return len(self.satellites)

    @property
    def refused_count(self) -> int:
        return len(self.refused)

    @property
    def predictors(self) -> list[Predictor]:
        return [s.predictor for s in self.satellites]

    @property
    def names(self) -> list[str]:
        return [s.name for s in self.satellites]

    def __len__(self) -> int:
        return len(self.satellites)

    def __iter__(self) -> Iterator[CatalogSatellite]:
        return iter(self.satellites)

    def __repr__(self) -> str:
        return f"Catalog({self.satellite_count} satellites, {self.refused_count} refused, format={self.format!r})"


def load_catalog(source: CatalogSource) -> Catalog:
    """Read a catalogue of element sets.

    `source` is a path (a `str` without line breaks, or a path object), the catalogue's text
    (a `str` with line breaks or starting with "[", or `bytes`), or an open file. The format is
    recognised from the content: an OMM JSON array, OMM CSV with a header row of OMM keywords
    (NORAD_CAT_ID among them), or else TLE lines, with or without name lines (a name line may
    carry the "0 " prefix of the three-line form).

    Returns a `Catalog`: the satellites read, each with its name, `Elements` and `Predictor`,
    and a `RefusedRecord` (record number, line, error text) for each record that could not be
    read. Raises `OSError` for a file that cannot be opened, and `ValueError` for a file that
    is not text, a JSON array that is not well formed, and a catalogue with no satellite.
    """
    text, label = _read_text(source)
    stripped = text.lstrip()
    if not stripped:
        raise ValueError(f"{label} holds no element sets: it is empty")
    if stripped[0] in "[{":
        catalog = _read_json(text, label)
    elif "NORAD_CAT_ID" in stripped.split("\n", 1)[0]:
        catalog = _read_csv(text)
    else:
        catalog = _read_tle(text)
    if not catalog.satellites:
        if not catalog.refused:
            raise ValueError(f"{label} holds no element sets")
        first = catalog.refused[0]
        raise ValueError(f"{label} holds no usable element set: {catalog.refused_count} records refused, "
                         f"the first (record {first.record}, line {first.line}): {first.error}")
    return catalog


# ---- Reading the source ---------------------------------------------------------------------


def _decode(data: bytes, label: str) -> str:
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        raise ValueError(f"{label} is not a text catalogue: {error.reason} at byte {error.start}") from None


def _read_text(source: CatalogSource) -> tuple[str, str]:
    """The catalogue's text and how to name it in errors."""
    if isinstance(source, bytes):
        return _decode(source, "the catalogue text"), "the catalogue text"
    if isinstance(source, str) and ("\n" in source or source.lstrip()[:1] in ("[", "{")):
        return source, "the catalogue text"
    if isinstance(source, (str, os.PathLike)):
        with open(source, "rb") as f:
            return _decode(f.read(), repr(os.fspath(source))), repr(os.fspath(source))
    if hasattr(source, "read"):
        label = repr(getattr(source, "name", "the catalogue file"))
        data = source.read()
        return (data if isinstance(data, str) else _decode(data, label)), label
    raise TypeError(f"expected a path, the catalogue's text or an open file, not '{type(source).__name__}'")


# ---- Records ----------------------------------------------------------------------------------


class _Builder:
    """Numbers the records and turns each into a satellite or a refusal."""

    def __init__(self, format: str):
        self.catalog = Catalog(format=format)
        self.count = 0

    def refuse(self, line: int, error: str) -> None:
        self.count += 1
        self.catalog.refused.append(RefusedRecord(self.count, line, error))

    def add(self, line: int, read_elements: Callable[[], Elements]) -> None:
        """`read_elements()` gives the record's `Elements` or raises ValueError."""
        self.count += 1
        try:
            elements = read_elements()
            predictor = Predictor(elements)
        except ValueError as error:
            self.catalog.refused.append(RefusedRecord(self.count, line, str(error)))
            return
        name = elements.object_name or f"NORAD {elements.norad_id}"
        self.catalog.satellites.append(CatalogSatellite(name, elements, predictor, self.count))


def _read_tle(text: str) -> Catalog:
    builder = _Builder("tle")
    lines = text.splitlines()
    name: tuple[int, str] | None = None  # the name line waiting for its element lines
    i = 0
    while i < len(lines):
        number, line = i + 1, lines[i].rstrip()
        i += 1
        if not line.strip():
            continue
        if line.startswith("1 "):
            start, title = name if name else (number, "")
            name = None
            if i < len(lines) and lines[i].startswith("2 "):
                line_2 = lines[i].rstrip()
                i += 1
                builder.add(start, lambda: Tle(title, line, line_2).to_elements())
            else:
                builder.refuse(start, "TLE line 1 without a line 2 after it")
        elif line.startswith("2 "):
            if name:
                builder.refuse(name[0], "TLE name line without element lines")
                name = None
            builder.refuse(number, "TLE line 2 without a line 1 before it")
        else:
            if name:
                builder.refuse(name[0], "TLE name line without element lines")
            title = line.strip()
            name = (number, title[2:].strip() if title.startswith("0 ") else title)
    if name:
        builder.refuse(name[0], "TLE name line without element lines")
    return builder.catalog


def _read_json(text: str, label: str) -> Catalog:
    """Each record is read from its own text by the OMM reader, so a refused record carries
    the reader's text (its position counted within the record)."""
    builder = _Builder("omm-json")
    decoder = json.JSONDecoder()
    position = len(text) - len(text.lstrip())
    if text[position] == "{":  # a single record
        builder.add(_line_of(text, position), lambda: Elements.from_json(text.strip()))
        return builder.catalog

    def fault(message: str, at: int) -> ValueError:
        return ValueError(f"{label} is not a well-formed JSON array: {message} at line {_line_of(text, at)}")

    position = _skip_space(text, position + 1)
    if text.startswith("]", position):
        return builder.catalog
    while True:
        try:
            _, end = decoder.raw_decode(text, position)
        except json.JSONDecodeError as error:
            raise fault(error.msg, error.pos) from None
        record = text[position:end]
        builder.add(_line_of(text, position), lambda: Elements.from_json(record))
        position = _skip_space(text, end)
        if text.startswith("]", position):
            if text[position + 1:].strip():
                raise fault("text after the array", position + 1)
            return builder.catalog
        if not text.startswith(",", position):
            raise fault("expected ',' or ']'", position)
        position = _skip_space(text, position + 1)


def _skip_space(text: str, position: int) -> int:
    while position < len(text) and text[position] in " \t\r\n":
        position += 1
    return position


def _line_of(text: str, position: int) -> int:
    return text.count("\n", 0, position) + 1


def _read_csv(text: str) -> Catalog:
    builder = _Builder("omm-csv")
    reader = csv.reader(io.StringIO(text))
    header = [name.strip() for name in next(reader)]
    line = reader.line_num + 1
    for row in reader:
        if any(cell.strip() for cell in row):
            if len(row) != len(header):
                builder.refuse(line, f"row has {len(row)} cells, the header names {len(header)} columns")
            else:
                record = {key: value for key, value in zip(header, row) if value != "" or key not in _OPTIONAL_TEXT}
                builder.add(line, lambda: Elements.from_dict(record))
        line = reader.line_num + 1
    return builder.catalog


# An empty cell under these keys means none (the other keys keep "" and are refused by the reader).
_OPTIONAL_TEXT = ("OBJECT_NAME", "OBJECT_ID")
