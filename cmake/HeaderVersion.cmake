# The version is written once, in the public header. This reads it into
# midicompose_version, for the project (and so the soname, the packages and
# the command's --version) and, run as `cmake -P cmake/HeaderVersion.cmake`,
# prints it for the Python package's build.
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/../include/midicompose.h" version_lines
     REGEX "^#define MIDICOMPOSE_VERSION_(MAJOR|MINOR|PATCH) ")
set(midicompose_version "")
foreach(part MAJOR MINOR PATCH)
  string(REGEX MATCH "MIDICOMPOSE_VERSION_${part} ([0-9]+)" _ "${version_lines}")
  list(APPEND midicompose_version ${CMAKE_MATCH_1})
endforeach()
list(JOIN midicompose_version "." midicompose_version)
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${midicompose_version}")
endif()
