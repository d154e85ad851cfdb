# WebAssembly with Debian's emscripten: the platform file emcmake would pass,
# plus what that packaging needs. Its optimizer (run by the compiler and the
# linker) loads Debian's acorn, which only NODE_PATH lets it find.
set(EMSCRIPTEN_ROOT_PATH /usr/share/emscripten CACHE PATH "Debian's emscripten")
include(${EMSCRIPTEN_ROOT_PATH}/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_C_COMPILER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_COMPILER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
set(CMAKE_C_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
