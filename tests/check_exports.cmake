# Fails unless the shared library's dynamic symbol table defines the three
# functions of the public header and nothing else. Run with -DLIBRARY=<path> -DNM=<nm>.
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
if(NOT names STREQUAL "MIDICompose;MIDIComposeFreeResult;MIDIComposeUTF8")
  message(FATAL_ERROR "expected MIDICompose, MIDIComposeFreeResult and MIDIComposeUTF8 alone, the library defines: ${names}")
endif()
