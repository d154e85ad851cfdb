# The engine's layers, as the build keeps them: a header of a layer compiles
# in a target that links that layer, and is not found in one that does not.
# Each row: the target, then the headers it may include and those it may not
# (one header a layer; batch.h stands for the command, which src/ never knows).
set(layer_rows
  "midicompose_platform|file_replace.h text_convert.h|instruments.h midi_writer.h compose.h c_result.h batch.h"
  "midicompose_instruments|instruments.h|midi_writer.h file_replace.h compose.h c_result.h batch.h"
  "midicompose_midi|midi_save.h file_replace.h|instruments.h compose.h c_result.h batch.h"
  "midicompose_compose|compose.h midi_writer.h instruments.h file_replace.h c_result.h|batch.h synth_pool.h")
if(TARGET midicompose_audio)
  list(APPEND layer_rows "midicompose_audio|synth_pool.h file_replace.h c_result.h|compose.h midi_writer.h instruments.h batch.h")
endif()

foreach(row IN LISTS layer_rows)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 target)
  list(GET row 1 allowed)
  list(GET row 2 refused)
  separate_arguments(allowed)
  separate_arguments(refused)
  foreach(header IN LISTS allowed refused)
    set(probe ${CMAKE_CURRENT_BINARY_DIR}/layers/${target}_${header}.cpp)
    file(WRITE ${probe} "#include \"${header}\"\n")
    if(header IN_LIST allowed)
      set(name "layers: ${target} includes ${header}")
    else()
      set(name "layers: ${target} cannot include ${header}")
    endif()
    # The target's own include folders, those of what it links included.
    add_test(NAME "${name}" COMMAND ${CMAKE_CXX_COMPILER} -std=c++17 -fsyntax-only
             "-I$<JOIN:$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>,;-I>" ${probe}
             COMMAND_EXPAND_LISTS)
    if(NOT header IN_LIST allowed)
      set_tests_properties("${name}" PROPERTIES PASS_REGULAR_EXPRESSION "${header}: No such file|'${header}' file not found")
    endif()
  endforeach()
endforeach()
