"""Pictures and files from Python equal isovar-plot's for the same model."""

import io

import numpy as np
import pytest
from PIL import Image

import isovar
from conftest import EXAMPLES, isovar_plot, random_arrays


def png_pixels(path):
    with Image.open(path) as im:
        return np.asarray(im.convert("RGB"))


@pytest.mark.parametrize("fill", [False, True])
@pytest.mark.parametrize("size", [(665, 585), (400, 300)])
def test_plot_equals_isovar_plot_png(example, fill, size, tmp_path):
    out = tmp_path / "reference.png"
    isovar_plot(example, "--png", out, "--size", f"{size[0]}x{size[1]}", *(["--fill"] if fill else []))
    picture = isovar.read(example).plot(size=size, fill=fill)
    assert picture.shape == (size[1], size[0], 3) and picture.dtype == np.uint8
    np.testing.assert_array_equal(picture, png_pixels(out))


def test_plot_of_arrays_equals_isovar_plot_of_their_file(tmp_path):
    a = random_arrays(5, mesh=False, side=30)
    path = a.write(tmp_path / "model.isovar")
    isovar_plot(path, "--png", tmp_path / "reference.png")
    np.testing.assert_array_equal(a.model().plot(), png_pixels(tmp_path / "reference.png"))


@pytest.mark.parametrize("ext, option", [("png", "--png"), ("bmp", "--bmp"), ("svg", "--svg"),
                                          ("geojson", "--isolines")])
def test_saved_files_equal_isovar_plot_files(example, ext, option, tmp_path):
    isovar_plot(example, option, tmp_path / f"reference.{ext}", "--fill")
    isovar.read(example).save(tmp_path / f"mine.{ext}", fill=True)
    assert (tmp_path / f"mine.{ext}").read_bytes() == (tmp_path / f"reference.{ext}").read_bytes()


def test_saved_bands_and_pdf(tmp_path):
    m = isovar.read(EXAMPLES["plate"])
    isovar_plot(EXAMPLES["plate"], "--bands", tmp_path / "reference.geojson")
    m.save(tmp_path / "bands.geojson", kind="bands")
    assert (tmp_path / "bands.geojson").read_bytes() == (tmp_path / "reference.geojson").read_bytes()
    m.save(tmp_path / "page.pdf")
    pdf = (tmp_path / "page.pdf").read_bytes()
    assert pdf.startswith(b"%PDF-") and pdf.rstrip().endswith(b"%%EOF") and pdf.count(b"/Type /Page") >= 1


def test_style_for_one_picture_equals_a_model_built_so():
    a = random_arrays(7, mesh=True, side=14)
    m = a.model()
    other = dict(levels=[-3.0, 0.0, 3.0], bold=(0.0,), labelled=(3.0,), titles=("another title",), full=True)
    np.testing.assert_array_equal(m.plot(**other), a.model(**other).plot())
    np.testing.assert_array_equal(m.plot(), a.model().plot())  # the model's own again


def test_failed_writes_raise_and_leave_no_file(tmp_path):
    m = isovar.read(EXAMPLES["terrain"])
    for name in ("a.png", "a.bmp", "a.svg", "a.pdf", "a.geojson"):
        with pytest.raises(isovar.IsovarError):
            m.save(tmp_path / "no-such-folder" / name)
    with pytest.raises(isovar.IsovarError):  # BMP pictures stay below 1000 pixels
        m.save(tmp_path / "big.bmp", size=(1200, 800))
    assert not (tmp_path / "big.bmp").exists()
    (tmp_path / "kept.png").write_bytes(b"before")
    with pytest.raises(ValueError, match="size"):
        m.save(tmp_path / "kept.png", size=(0, 10))
    assert (tmp_path / "kept.png").read_bytes() == b"before"


def test_matplotlib_axes_get_the_lines_and_bands():
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    import isovar.mpl

    m = isovar.read(EXAMPLES["terrain"])
    fig, ax = plt.subplots()
    lines, bands = isovar.mpl.contour(ax, m, bands=True)
    assert len(lines) == len(m.levels)
    for collection, expected in zip(lines, m.lines()):
        assert len(collection.get_segments()) == len(expected)
        assert all(np.array_equal(s, e) for s, e in zip(collection.get_segments(), expected))
    assert len(bands) == sum(1 for b in m.bands() if b)
    xmin, xmax, ymin, ymax = m.extent
    assert ax.get_xlim()[0] <= xmin and ax.get_xlim()[1] >= xmax and ax.get_ylim()[1] >= ymax
    fig.savefig(io.BytesIO(), format="png")
    plt.close(fig)
