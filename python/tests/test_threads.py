"""Four threads, four models: each thread's lines, bands and pictures equal
those of the same calls one after the other."""

import threading
import time

import numpy as np

import isovar
from conftest import EXAMPLES, random_arrays


def results(model):
    return model.lines(), model.bands(), model.plot(size=(300, 260), fill=True), model.to_geojson()


def same(a, b):
    lines_a, bands_a, picture_a, geo_a = a
    lines_b, bands_b, picture_b, geo_b = b
    assert [len(x) for x in lines_a] == [len(x) for x in lines_b]
    assert all(np.array_equal(p, q) for x, y in zip(lines_a, lines_b) for p, q in zip(x, y))
    assert [len(x) for x in bands_a] == [len(x) for x in bands_b]
    assert all(np.array_equal(r, s) for x, y in zip(bands_a, bands_b) for p, q in zip(x, y) for r, s in zip(p, q))
    np.testing.assert_array_equal(picture_a, picture_b)
    assert geo_a == geo_b


def test_four_threads_four_models():
    models = [isovar.read(EXAMPLES["terrain"]), isovar.read(EXAMPLES["plate"]),
              random_arrays(1, mesh=False, side=40).model(), random_arrays(2, mesh=True, side=30).model()]
    serial = [results(m) for m in models]
    for _ in range(3):
        parallel = [None] * len(models)
        errors = []
        start = threading.Barrier(len(models))

        def work(i):
            try:
                start.wait()
                parallel[i] = results(models[i])
            except Exception as e:  # noqa: BLE001  (reported below)
                errors.append(e)

        threads = [threading.Thread(target=work, args=(i,)) for i in range(len(models))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert not errors, errors
        for s, p in zip(serial, parallel):
            same(s, p)


def test_threads_sharing_one_model_with_other_levels():
    m = random_arrays(3, mesh=False, side=40).model()
    own = m.lines()
    other = [-4.0, 0.0, 4.0]
    expected_other = m.lines(levels=other)
    got = {}

    def work(i):
        for _ in range(5):
            got.setdefault(i, []).append(m.lines(levels=other) if i % 2 else m.lines())

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for i, runs in got.items():
        for lines in runs:
            expected = expected_other if i % 2 else own
            assert all(np.array_equal(p, q) for x, y in zip(lines, expected) for p, q in zip(x, y))


def test_the_gil_is_released_while_tracing_and_drawing():
    # The main thread keeps running Python while another thread is inside a
    # call: its longest pause is a small part of the call, where a call
    # holding the GIL throughout would stop it for the whole call. Tried a
    # few times, since a busy machine may not run the main thread at all.
    x = np.arange(1500.0)
    y = np.arange(900.0)
    z = np.sin(x / 9)[None, :] * np.cos(y / 7)[:, None]
    m = isovar.Grid(x, y, z, levels=[-0.5, 0.0, 0.5])
    for call in (lambda: m.lines(), lambda: m.plot(size=(800, 700), fill=True)):
        for _ in range(5):
            span = []
            worker = threading.Thread(target=lambda: span.extend([time.perf_counter(), call(), time.perf_counter()]))
            stamps = [time.perf_counter()]
            worker.start()
            while worker.is_alive():
                stamps.append(time.perf_counter())
            worker.join()
            longest = max(b - a for a, b in zip(stamps, stamps[1:] + [time.perf_counter()]))
            if longest < 0.5 * (span[2] - span[0]):
                break
        else:
            raise AssertionError("no Python ran while the call was under way")


def test_a_large_grid_gives_the_same_results_on_every_thread_count():
    # Past the default tables (more than 499 columns): traced in tiles.
    x = np.arange(640.0)
    y = np.arange(30.0) * 2
    z = np.sin(x / 17.0)[None, :] * np.cos(y / 9.0)[:, None] * 10
    z[5, 100:140] = np.nan
    grid = isovar.Grid(x, y, z, levels=[-6, -3, 0, 3, 6])
    one = (grid.lines(threads=1), grid.bands(threads=1), grid.plot(size=(320, 200), fill=True, threads=1))
    for threads in (2, 3, None):
        same(one + (None,), (grid.lines(threads=threads), grid.bands(threads=threads),
                             grid.plot(size=(320, 200), fill=True, threads=threads), None))
    for bad in (0, -1, 1.5, True):
        try:
            grid.lines(threads=bad)
        except ValueError as e:
            assert "threads" in str(e)
        else:
            raise AssertionError(f"threads={bad!r} accepted")
