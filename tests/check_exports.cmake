# Fails unless the shared library's dynamic symbol table defines MIDICompose
# and nothing else. Run with -DLIBRARY=<path> -DNM=<nm>.
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
if(NOT names STREQUAL "MIDICompose")
  message(FATAL_ERROR "expected MIDICompose alone, the library defines: ${names}")
endif()
