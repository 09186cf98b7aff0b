"""Builds the velmorane package with a copy of libvelmorane.so inside it, so that the
installed package needs neither the checkout nor its build tree.

The library comes from VELMORANE_LIBRARY when that names a built libvelmorane.so;
otherwise it is built here with CMake from the checkout this folder belongs to (into
VELMORANE_BUILD_DIR, by default build/cmake beside this file).
"""
import os
import pathlib
import re
import shutil
import subprocess

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

HERE = pathlib.Path(__file__).resolve().parent
CHECKOUT = HERE.parent


def project_version():
    text = (CHECKOUT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(velmorane VERSION ([0-9.]+)", text)
    if match is None:
        raise SystemExit("setup.py: no version in the checkout's CMakeLists.txt")
    return match.group(1)


def shared_library():
    given = os.environ.get("VELMORANE_LIBRARY")
    if given:
        library = pathlib.Path(given)
        if not library.is_file():
            raise SystemExit(f"setup.py: VELMORANE_LIBRARY names no file: {given}")
        return library
    build = pathlib.Path(os.environ.get("VELMORANE_BUILD_DIR", HERE / "build" / "cmake"))
    subprocess.run(["cmake", "-S", str(CHECKOUT), "-B", str(build),
                    "-DCMAKE_BUILD_TYPE=Release", "-DVELMORANE_TESTS=OFF",
                    "-DVELMORANE_GUI=OFF", "-DVELMORANE_BENCH=OFF"], check=True)
    subprocess.run(["cmake", "--build", str(build), "--target", "velmorane_shared",
                    "velmorane-svg", "-j", str(os.cpu_count() or 1)], check=True)
    return build / "lib" / "libvelmorane.so"


class BuildWithLibrary(build_py):
    """Copies the shared library into the package beside __init__.py."""

    def run(self):
        super().run()
        target = pathlib.Path(self.build_lib) / "velmorane" / "libvelmorane.so"
        target.parent.mkdir(parents=True, exist_ok=True)
        library = shared_library()
        shutil.copyfile(library, target)  # the file the links lead to
        # The library draws SVG pictures in a helper program it finds beside itself.
        for helper in (library.parent / "velmorane-svg", library.parent.parent / "velmorane-svg"):
            if helper.is_file():
                drawer = target.parent / "velmorane-svg"
                shutil.copyfile(helper, drawer)
                drawer.chmod(0o755)
                break


class BinaryDistribution(Distribution):
    """The package carries a compiled library: its wheel is for this platform only."""

    def has_ext_modules(self):
        return True


setup(version=project_version(), cmdclass={"build_py": BuildWithLibrary},
      distclass=BinaryDistribution)
