# Warnings and sanitizers, attached to targets through this interface library.
add_library(midicompose_options INTERFACE)
target_compile_features(midicompose_options INTERFACE cxx_std_17)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(midicompose_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual -Wformat=2
    $<$<BOOL:${MIDICOMPOSE_WERROR}>:-Werror>)
  if(MIDICOMPOSE_SANITIZE)
    target_compile_options(midicompose_options INTERFACE
      -fsanitize=${MIDICOMPOSE_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
    target_link_options(midicompose_options INTERFACE -fsanitize=${MIDICOMPOSE_SANITIZE})
  endif()
  if(MIDICOMPOSE_COVERAGE)
    # Atomic counters: the threads of a batch or a render count at once.
    target_compile_options(midicompose_options INTERFACE --coverage -fprofile-update=atomic -O0)
    target_link_options(midicompose_options INTERFACE --coverage)
  endif()
  if(MIDICOMPOSE_FUZZ)
    target_compile_options(midicompose_options INTERFACE -fsanitize=fuzzer-no-link)
    target_compile_definitions(midicompose_options INTERFACE FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
  endif()
  if(EMSCRIPTEN)
    # An allocation failure is caught and reported as a status, as on every
    # other platform; emscripten would otherwise abort on any throw.
    target_compile_options(midicompose_options INTERFACE -fexceptions)
    target_link_options(midicompose_options INTERFACE -fexceptions)
  endif()
elseif(MSVC)
  target_compile_options(midicompose_options INTERFACE /W4 $<$<BOOL:${MIDICOMPOSE_WERROR}>:/WX>)
endif()
