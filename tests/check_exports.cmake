# Fails unless the shared library's dynamic symbol table defines exactly the
# functions the public header declares. Run with -DLIBRARY=<path> -DNM=<nm>
# -DHEADER=<midicompose.h>.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/HeaderExports.cmake)
midicompose_header_exports(${HEADER} MIDICOMPOSE_API declared)
list(SORT declared)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(names "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" name "${line}")
  list(APPEND names "${name}")
endforeach()
list(SORT names)
list(LENGTH declared count)
if(count LESS 6 OR NOT names STREQUAL declared)
  message(FATAL_ERROR "the header declares ${declared}; the library defines: ${names}")
endif()
message(STATUS "exports: ${names}")
