"""The package installed by cmake --install, imported from another folder
with PYTHONPATH set to the prefix's dist-packages (as the README says)."""

import os
import subprocess
import sys

import pytest

BUILD_DIR = os.environ.get("ISOVAR_BUILD_DIR")
PACKAGE_DIR = os.environ.get("ISOVAR_PYTHON_DIR", "lib/python3/dist-packages")


@pytest.mark.skipif(not BUILD_DIR, reason="ISOVAR_BUILD_DIR names no build")
def test_installed_package_works_from_another_folder(tmp_path):
    prefix = tmp_path / "prefix"
    cmake = os.environ.get("ISOVAR_CMAKE", "cmake")
    done = subprocess.run([cmake, "--install", BUILD_DIR, "--prefix", str(prefix)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    package = prefix / PACKAGE_DIR / "isovar"
    assert (package / "__init__.py").exists()
    work = tmp_path / "work"
    work.mkdir()
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LD_LIBRARY_PATH")}
    env["PYTHONPATH"] = str(prefix / PACKAGE_DIR)
    script = (
        "import numpy as np, isovar\n"
        "assert isovar.__file__.startswith(%r), isovar.__file__\n"
        "m = isovar.Grid(np.arange(5.0), np.arange(4.0), np.arange(20.0).reshape(4, 5), levels=[4.5, 9.5])\n"
        "assert sum(map(len, m.lines())) == 2\n"
        "m.save('p.png'); m.save('p.pdf')\n"
        "print(m.plot().shape)\n" % str(package))
    done = subprocess.run([sys.executable, "-c", script], cwd=work, env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "(585, 665, 3)"
    assert (work / "p.png").stat().st_size > 0 and (work / "p.pdf").read_bytes().startswith(b"%PDF")
    # The modules take the project's libraries from the prefix, not the build tree.
    ldd = subprocess.run(["ldd", str(next(package.glob("_isovar*.so")))], capture_output=True, text=True).stdout
    lib_line = next(line for line in ldd.splitlines() if "libIsovarLib" in line)
    assert str(prefix) in lib_line, lib_line
