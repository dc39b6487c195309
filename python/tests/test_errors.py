"""Bad arguments raise ValueError naming the argument before the library is
called; the library's failures raise IsovarError with its message."""

import numpy as np
import pytest

import isovar
from conftest import EXAMPLES

X = np.arange(4.0)
Y = np.arange(3.0)
Z = np.arange(12.0).reshape(3, 4)
L = [2.5, 5.5]
TRI = np.array([[0, 1, 2], [1, 3, 2]])


@pytest.mark.parametrize("make, argument", [
    (lambda: isovar.Grid(X[::-1], Y, Z, L), "x"),
    (lambda: isovar.Grid(X, [0, 1, 1], Z, L), "y"),
    (lambda: isovar.Grid([0, np.nan, 2, 3], Y, Z, L), "x"),
    (lambda: isovar.Grid(X.reshape(2, 2), Y, Z, L), "x"),
    (lambda: isovar.Grid(X, Y, Z.T, L), "z"),
    (lambda: isovar.Grid(X, Y, "no numbers", L), "z"),
    (lambda: isovar.Grid(X, Y, Z, [5.5, 2.5]), "levels"),
    (lambda: isovar.Grid(X, Y, Z, np.arange(50.0)), "levels"),
    (lambda: isovar.Grid(X, Y, Z, [1.0, np.inf]), "levels"),
    (lambda: isovar.Grid(X, Y, np.full((3, 4), np.nan)), "z"),
    (lambda: isovar.Grid(X, Y, Z, L, bold=(3.0,)), "bold"),
    (lambda: isovar.Grid(X, Y, Z, L, labelled=(7.0,)), "labelled"),
    (lambda: isovar.Grid(X, Y, Z, L, titles=("t",) * 6), "titles"),
    (lambda: isovar.Grid(X, Y, Z, L, titles=("x" * 59,)), "titles"),
    (lambda: isovar.Grid(X, Y, Z, L, titles=("あ" * 30,)), "titles"),
    (lambda: isovar.Grid(X, Y, Z, L, titles=("\u20ac",)), "titles"),
    (lambda: isovar.Grid(X, Y, Z, L, large="yes"), "large"),
    (lambda: isovar.Mesh([0, 1, 0, 1], [0, 0, 1, 1], [[0, 1, 4]], [1, 2, 3, 4], L), "cells"),
    (lambda: isovar.Mesh([0, 1, 0, 1], [0, 0, 1, 1], [[0, 1, -1]], [1, 2, 3, 4], L), "cells"),
    (lambda: isovar.Mesh([0, 1, 0, 1], [0, 0, 1, 1], [[0, 1]], [1, 2, 3, 4], L), "cells"),
    (lambda: isovar.Mesh([0, 1, 0, 1], [0, 0, 1, 1], [[0, 1, 2, 3, 0]], [1, 2, 3, 4], L), "cells"),
    (lambda: isovar.Mesh([0, 1, 0, 1], [0, 0, 1, 1], [[0, 1, 2], [0, 1]], [1, 2, 3, 4], L), "cells"),
    (lambda: isovar.Mesh([0, 1, 0, 1], [0, 0, 1, 1], [[0, 1.5, 2]], [1, 2, 3, 4], L), "cells"),
    (lambda: isovar.Mesh([0, 1, 0, 1], [0, 0, 1], TRI, [1, 2, 3, 4], L), "y"),
    (lambda: isovar.Mesh([0, 1, 0, 1], [0, 0, 1, 1], TRI, [1, 2, 3], L), "values"),
    (lambda: isovar.Mesh([0, 1, np.inf, 1], [0, 0, 1, 1], TRI, [1, 2, 3, 4], L), "x"),
    (lambda: isovar.read(EXAMPLES["terrain"]).plot(size=(0, 100)), "size"),
    (lambda: isovar.read(EXAMPLES["terrain"]).plot(size="big"), "size"),
    (lambda: isovar.read(EXAMPLES["terrain"]).lines(levels=[3.0, 1.0]), "levels"),
    (lambda: isovar.read(EXAMPLES["terrain"]).save("picture.gif"), "path"),
    (lambda: isovar.read(EXAMPLES["terrain"]).to_geojson("points"), "kind"),
    (lambda: isovar.read_raster(EXAMPLES["terrain"], band=0), "band"),
    (lambda: isovar.read_points(np.zeros((4, 2))), "path_or_array"),
])
def test_bad_arguments_name_themselves(make, argument):
    with pytest.raises(ValueError) as e:
        make()
    assert not isinstance(e.value, isovar.IsovarError)
    assert str(e.value).startswith(argument + ":"), str(e.value)


def test_unknown_style_keyword():
    with pytest.raises(TypeError, match="colour"):
        isovar.read(EXAMPLES["terrain"]).plot(colour="red")


@pytest.mark.parametrize("make, text, limit", [
    # The reader's messages, in Japanese, decoded from code page 932.
    (lambda: isovar.read("/no/such/model.isovar"), "/no/such/model.isovar", False),
    (lambda: isovar.Grid(X, Y, np.full((3, 4), 1e39), L), "", False),
    (lambda: isovar.Grid(np.arange(600.0), Y, np.zeros((3, 600)), L, large=False), "", True),
    (lambda: isovar.read(EXAMPLES["terrain"]).save("/no/such/folder/a.png"), "/no/such/folder/a.png", False),
    # Isolines are traced and written in one go: a grid in tiles, and one in one piece.
    (lambda: isovar.Grid(np.arange(600.0), Y, np.zeros((3, 600)) + X[0], L).save("/no/such/folder/a.geojson"),
     "/no/such/folder/a.geojson", False),
    (lambda: isovar.read(EXAMPLES["terrain"]).save("/no/such/folder/a.geojson"), "/no/such/folder/a.geojson", False),
])
def test_library_failures(make, text, limit):
    with pytest.raises(isovar.IsovarError) as e:
        make()
    assert isinstance(e.value, ValueError)
    message = str(e.value)
    assert message and text in message and "\ufffd" not in message
    assert e.value.limit_reached is limit


def test_reader_message_is_japanese(tmp_path):
    bad = tmp_path / "bad.isovar"
    bad.write_bytes(b"*model differencial\n*x\n0\nzero\n*end\n")
    with pytest.raises(isovar.IsovarError) as e:
        isovar.read(bad)
    assert any("\u3040" <= c <= "\u30ff" or "\u4e00" <= c <= "\u9fff" for c in str(e.value)), str(e.value)


def test_a_failed_set_levels_leaves_the_model_as_it_was():
    m = isovar.read(EXAMPLES["terrain"])
    before = list(m.levels)
    with pytest.raises(ValueError):
        m.set_levels([1.0, 1e39])
    assert list(m.levels) == before
