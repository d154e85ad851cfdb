"""Builds the C++ library with CMake and puts it inside the Python package,
so `pip install .` needs a compiler, CMake and pip, nothing else."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

ROOT = Path(__file__).resolve().parent
LIBRARY_NAMES = {"win32": "midicompose.dll", "darwin": "libmidicompose.dylib"}


class BuildWithLibrary(build_py):
    """Builds the shared library and the instrument table into the package."""

    def run(self):
        super().run()
        package = Path(self.build_lib) / "midicompose"
        package.mkdir(parents=True, exist_ok=True)
        cmake_dir = Path(self.get_finalized_command("build").build_base) / "cmake"
        subprocess.check_call(["cmake", "-S", str(ROOT), "-B", str(cmake_dir), "-DCMAKE_BUILD_TYPE=Release",
                               "-DMIDICOMPOSE_BUILD_TESTS=OFF"])
        subprocess.check_call(["cmake", "--build", str(cmake_dir), "--target", "midicompose",
                               "-j", str(os.cpu_count() or 2)])
        name = LIBRARY_NAMES.get(sys.platform, "libmidicompose.so")
        shutil.copyfile(cmake_dir / name, package / name)
        rows = re.findall(r'^MIDICOMPOSE_INSTRUMENT\("(\w+)", (\d+)\)',
                          (ROOT / "src/instruments/instrument_rows.inc").read_text(), re.M)
        table = ",\n".join(f"    ({n!r}, {p})" for n, p in rows)
        (package / "_table.py").write_text(
            '"""The instrument names and their programs, in the library\'s row order.\n'
            'Generated from src/instruments/instrument_rows.inc at build time."""\n'
            f"ROWS = (\n{table},\n)\n")


class BinaryDistribution(Distribution):
    """The package carries a native library, so its wheel is platform-specific."""

    def has_ext_modules(self):
        return True


(ROOT / "build" / "python").mkdir(parents=True, exist_ok=True)
setup(cmdclass={"build_py": BuildWithLibrary}, distclass=BinaryDistribution,
      options={"build": {"build_base": "build/python"}, "egg_info": {"egg_base": "build/python"}})
