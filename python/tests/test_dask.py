"""The README's Dask recipe on a LocalCluster of two workers: pictures
written and lines gathered as records, equal to a plain loop's."""

import os
import shutil

import numpy as np
import pytest

import isovar
from conftest import EXAMPLES, random_arrays

distributed = pytest.importorskip("distributed")


@pytest.fixture(scope="module")
def client():
    # Threads, not processes: the workers start in a moment, and the
    # library runs them side by side without the GIL.
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False, dashboard_address=None,
                                  silence_logs=50) as cluster, distributed.Client(cluster) as c:
        yield c


def model_files(folder):
    paths = []
    for name, path in EXAMPLES.items():
        paths.append(str(shutil.copy(path, folder / f"{name}.isovar")))
    for seed in range(4):
        paths.append(str(random_arrays(seed).write(folder / f"random{seed}.isovar")))
    return paths


def test_files_on_a_cluster_equal_a_plain_loop(client, tmp_path):
    from isovar.records import plot_file

    paths = model_files(tmp_path)
    (tmp_path / "loop").mkdir()
    (tmp_path / "cluster").mkdir()
    loop = [plot_file(p, str(tmp_path / "loop")) for p in paths]
    futures = client.map(plot_file, paths, out_dir=str(tmp_path / "cluster"))
    gathered = client.gather(futures)
    assert gathered == loop
    for p in paths:
        name = os.path.splitext(os.path.basename(p))[0] + ".png"
        assert (tmp_path / "cluster" / name).read_bytes() == (tmp_path / "loop" / name).read_bytes()
    records = [r for per_file in gathered for r in per_file]
    assert {r["properties"]["source"] for r in records} == {os.path.basename(p) for p in paths}
    assert all(r["type"] == "Feature" and r["geometry"]["type"] == "LineString" for r in records)


def traced(z, levels):
    x = np.arange(z.shape[1], dtype=np.float64)
    y = np.arange(z.shape[0], dtype=np.float64)
    return isovar.Grid(x, y, z, levels=levels).lines()


def test_arrays_on_a_cluster_equal_a_plain_loop(client):
    rng = np.random.default_rng(0)
    fields = [np.cumsum(rng.standard_normal((60, 80)), axis=1) for _ in range(4)]
    levels = [-4.0, -2.0, 0.0, 2.0, 4.0]
    gathered = client.gather(client.map(traced, fields, levels=levels))
    for got, expected in zip(gathered, [traced(z, levels) for z in fields]):
        assert all(np.array_equal(p, q) for x, y in zip(got, expected) for p, q in zip(x, y))
