# Cross-builds for arm64 Linux (Raspberry Pi OS 64-bit, Graviton) with
# Debian's g++-aarch64-linux-gnu, finding arm64 libraries (FluidSynth,
# GoogleTest) where Debian's multiarch installs them (apt-get install
# libfluidsynth-dev:arm64 after dpkg --add-architecture arm64). What it
# builds runs here under qemu-aarch64 (Debian's qemu-user), the emulator CTest
# and the checks use.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
foreach(kind LIBRARY INCLUDE PACKAGE)
  set(CMAKE_FIND_ROOT_PATH_MODE_${kind} BOTH)
endforeach()
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
# The arm64 loader and libraries multiarch installs under /.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
