"""The README's Python example runs as shown, and the README shows it whole."""

import os
import subprocess
import sys

from conftest import SOURCE_DIR

EXAMPLE = os.path.join(SOURCE_DIR, "examples", "python_example.py")


def test_example_runs_and_the_readme_shows_it(tmp_path):
    env = dict(os.environ, MPLBACKEND="Agg")
    done = subprocess.run([sys.executable, EXAMPLE], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    out = done.stdout.splitlines()
    assert out[0] == "<isovar.Model grid, 9 levels, extent (0.0, 30.0, 0.0, 20.0)>"
    assert out[2] == "10 bands" and out[3] == "(585, 665, 3)"
    for name in ("python-example.png", "python-example.pdf", "python-example-mpl.png"):
        assert (tmp_path / name).stat().st_size > 0
    with open(EXAMPLE, encoding="utf-8") as f, open(os.path.join(SOURCE_DIR, "README.md"), encoding="utf-8") as r:
        assert f.read() in r.read()
