"""Builds the C++ library with CMake and puts it inside the Python package,
so `pip install .` needs a compiler, CMake and pip, nothing else.

Cross-built for another Linux architecture (make dist's arm64 wheel), CMake
reads $CMAKE_TOOLCHAIN_FILE, the wheel's platform is $_PYTHON_HOST_PLATFORM
(linux-aarch64) and $OBJDUMP reads the libraries' glibc versions."""
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
AUDIO_NAMES = {"win32": "midicompose-audio.dll", "darwin": "libmidicompose-audio.dylib"}


class BuildWithLibrary(build_py):
    """Builds the shared library into the package, and midicompose-audio
    beside it where FluidSynth is installed."""

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
        audio = AUDIO_NAMES.get(sys.platform, "libmidicompose-audio.so")
        try:
            subprocess.check_call(["cmake", "--build", str(cmake_dir), "--target", "midicompose_audio",
                                   "-j", str(os.cpu_count() or 2)])
            shutil.copyfile(cmake_dir / audio, package / audio)
        except subprocess.CalledProcessError:
            print("midicompose: no FluidSynth, so the package renders no sound (song.wav() says so)")


def version():
    """The library's version, as the build reads it from the public header."""
    script = ROOT / "cmake" / "HeaderVersion.cmake"
    return subprocess.check_output(["cmake", "-P", str(script)], text=True).strip()


# What a manylinux wheel's libraries may link besides glibc's own (the
# policies' list, as auditwheel reads it). libfluidsynth is no such library:
# midicompose-audio takes it from the system, and the package says what to
# install where it is missing (song.wav() raises AudioError).
MANYLINUX_LIBRARIES = {"libc.so.6", "libm.so.6", "libdl.so.2", "librt.so.1", "libpthread.so.0", "libgcc_s.so.1",
                       "libstdc++.so.6", "ld-linux-x86-64.so.2", "ld-linux-aarch64.so.1"}
SYSTEM_LIBRARIES = {"libfluidsynth.so.3"}


def manylinux_tag(libraries, arch):
    """manylinux_2_N_ARCH, N the newest glibc symbol version the libraries
    require (objdump -T, as auditwheel reads them). Refuses a library that
    links anything no manylinux system provides, or C++ runtime symbols (the
    runtime is linked in)."""
    newest = 17  # manylinux2014's glibc, the oldest a tag names today
    for library in libraries:
        # $OBJDUMP: the cross binutils' for another architecture's libraries.
        symbols = subprocess.run([os.environ.get("OBJDUMP", "objdump"), "-T", "-p", str(library)], check=True,
                                 capture_output=True, text=True).stdout
        needed = set(re.findall(r"^\s+NEEDED\s+(\S+)$", symbols, re.M))
        outside = needed - MANYLINUX_LIBRARIES - SYSTEM_LIBRARIES
        if outside or re.search(r"\b(GLIBCXX|CXXABI)_", symbols):
            raise RuntimeError(f"{library.name} links {sorted(outside) or 'the shared C++ runtime'}: no manylinux wheel")
        newest = max([newest] + [int(minor) for minor in re.findall(r"\bGLIBC_2\.(\d+)", symbols)])
    return f"manylinux_2_{newest}_{arch}"


class BinaryDistribution(Distribution):
    """The package carries a native library, so its wheel is platform-specific."""

    def has_ext_modules(self):
        return True


commands = {"build_py": BuildWithLibrary}
try:
    from wheel.bdist_wheel import bdist_wheel

    class PlatformWheel(bdist_wheel):
        """Any Python 3 loads the library through ctypes, with no extension
        module: the wheel is tied to the platform alone (py3-none-PLATFORM),
        and on Linux to the oldest glibc its libraries can run on."""

        def get_tag(self):
            platform = super().get_tag()[2]
            if platform.startswith("linux_"):
                package = Path(self.get_finalized_command("build_py").build_lib) / "midicompose"
                platform = manylinux_tag(sorted(package.glob("*.so")), platform[len("linux_"):])
            return "py3", "none", platform

    commands["bdist_wheel"] = PlatformWheel
except ImportError:  # building without the wheel package: no wheel to tag
    pass


(ROOT / "build" / "python").mkdir(parents=True, exist_ok=True)
setup(version=version(), cmdclass=commands, distclass=BinaryDistribution,
      options={"build": {"build_base": "build/python"}, "egg_info": {"egg_base": "build/python"}})
