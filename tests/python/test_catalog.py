import csv
import io
import json
from datetime import timedelta

import pytest

from satvane import Elements, Predictor, Tle, load_catalog
from satvane import _batch
from catalog_data import TLES, elements, omm_record

GOOD = [elements(t) for t in TLES]


def error_of(read):
    with pytest.raises(ValueError) as info:
        read()
    return str(info.value)


def tle_file(with_names):
    """The good records with a bad checksum as record 3 and an orphan line 1 at the end."""
    bad = (TLES[0][0], TLES[0][1][:-1] + "5", TLES[0][2])
    records = TLES[:2] + [bad] + TLES[2:]
    lines = []
    for name, l1, l2 in records:
        lines += ([f"0 {name}"] if with_names else []) + [l1 + "  ", l2]  # trailing blanks are forgiven
    lines += ["", TLES[1][1]]
    bad_line = 7 if with_names else 5
    refused = [(3, bad_line, error_of(lambda: Tle(*bad).to_elements())),
               (7, len(lines), "TLE line 1 without a line 2 after it")]
    return "\n".join(lines) + "\n", refused


def json_file():
    records = [omm_record(e) for e in GOOD]
    missing = dict(records[0])
    del missing["EPOCH"]
    hyperbolic = dict(records[1], ECCENTRICITY="1.5")
    records = records[:1] + [missing] + records[1:3] + [hyperbolic] + records[3:]
    texts = [json.dumps(r, indent=1) for r in records]
    lines = [1 + 1 + sum(t.count("\n") + 1 for t in texts[:i]) for i in range(len(texts))]
    refused = [(2, lines[1], error_of(lambda: Elements.from_json(texts[1]))),
               (5, lines[4], error_of(lambda: Predictor(Elements.from_json(texts[4]))))]
    return "[\n" + ",\n".join(texts) + "\n]\n", refused


def csv_file():
    records = [omm_record(e) for e in GOOD]
    out = io.StringIO()
    writer = csv.DictWriter(out, fieldnames=list(records[0]), lineterminator="\n")
    writer.writeheader()
    writer.writerows(records[:2])
    out.write("ISS,1998-067A,2020-07-12T01:19:07\n")  # row 3: too few cells
    writer.writerow(dict(records[2], MEAN_MOTION="fast"))  # row 4: a bad number
    writer.writerows(records[2:])
    refused = [(3, 4, "row has 3 cells, the header names 17 columns"),
               (4, 5, error_of(lambda: Elements.from_dict(dict(records[2], MEAN_MOTION="fast"))))]
    return out.getvalue(), refused


NAMES = [t[0] for t in TLES]


@pytest.mark.parametrize("make, format, names", [
    (lambda: tle_file(True), "tle", NAMES), (lambda: tle_file(False), "tle", [f"NORAD {e.norad_id}" for e in GOOD]),
    (json_file, "omm-json", NAMES), (csv_file, "omm-csv", NAMES)], ids=["3le", "2le", "json", "csv"])
def test_formats_read_every_good_record_and_place_the_bad_ones(tmp_path, make, format, names):
    text, refused = make()
    path = tmp_path / "catalog.txt"
    path.write_text(text)
    catalog = load_catalog(path)
    assert catalog.format == format
    assert (catalog.satellite_count, catalog.refused_count) == (len(GOOD), len(refused))
    assert [tuple(r) for r in catalog.refused] == refused
    assert refused[0][2]  # the reader's own text
    for satellite, expected in zip(catalog, GOOD):
        # Every field but the name, exactly (the epoch to the nanosecond).
        assert _batch.pickle_state(satellite.elements)[2:] == _batch.pickle_state(expected)[2:]
        t = expected.epoch + timedelta(hours=5)
        assert satellite.predictor.propagate(t) == Predictor(expected).propagate(t)
    assert catalog.names == names
    assert [s.record for s in catalog] == [n for n in range(1, 8) if n not in {r[0] for r in refused}]


def test_sources_path_text_bytes_and_open_files(tmp_path):
    text, _ = tle_file(True)
    path = tmp_path / "c.tle"
    path.write_text(text)
    with open(path) as as_text, open(path, "rb") as as_bytes:
        results = [load_catalog(s) for s in (str(path), path, text, text.encode(), as_text, as_bytes)]
    assert {repr(c) for c in results} == {"Catalog(5 satellites, 2 refused, format='tle')"}


def test_unreadable_and_empty_catalogues_fail_clearly(tmp_path):
    with pytest.raises(FileNotFoundError):
        load_catalog(tmp_path / "missing.tle")
    (tmp_path / "empty.tle").write_text("\n  \n")
    with pytest.raises(ValueError, match="holds no element sets: it is empty"):
        load_catalog(tmp_path / "empty.tle")
    (tmp_path / "binary").write_bytes(b"\x00\xff\xfe" * 10)
    with pytest.raises(ValueError, match="is not a text catalogue: invalid start byte at byte 1"):
        load_catalog(tmp_path / "binary")
    with pytest.raises(ValueError, match=r"no usable element set: 2 records refused, the first \(record 1, line 1\): "
                                         "TLE line 2 without a line 1"):
        load_catalog(TLES[0][2] + "\n" + TLES[1][2] + "\n")
    with pytest.raises(ValueError, match="not a well-formed JSON array: expected ',' or ']' at line 2"):
        load_catalog('[{"A": 1}\n{"B": 2}]')
    assert error_of(lambda: load_catalog("[]")) == "the catalogue text holds no element sets"
