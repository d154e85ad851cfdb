# The functions a public header exports, read from its declarations (those
# that begin with its export macro), so no list of them is written by hand.
# midicompose_header_exports(HEADER MACRO OUT): OUT names them in header order.
# midicompose_export_files(NAME HEADER MACRO): NAME.exports (one a line, for
# the scripts and checks) and NAME.map (the GNU linker's version script) in
# the build folder. midicompose_exports_only(TARGET NAME): links TARGET with it.
function(midicompose_header_exports header macro out)
  file(READ ${header} text)
  string(REGEX MATCHALL "\n${macro} [^(]*[ *][A-Za-z0-9_]+\\(" declarations "${text}")
  set(names "")
  foreach(declaration IN LISTS declarations)
    string(REGEX REPLACE ".*[ *]([A-Za-z0-9_]+)\\($" "\\1" name "${declaration}")
    list(APPEND names ${name})
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

function(midicompose_export_files name header macro)
  midicompose_header_exports(${header} ${macro} names)
  list(JOIN names "\n" lines)
  list(JOIN names "; " globals)
  get_filename_component(file ${header} NAME)
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/${name}.exports CONTENT "${lines}\n")
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/${name}.map
       CONTENT "/* The functions of ${file}, and nothing else. */\n{\n  global: ${globals};\n  local: *;\n};\n")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
endfunction()

# A shared library that exports its header's functions alone (NAME.map) and
# carries its C++ runtime inside, so hosts need none of their own. (A
# sanitizer's runtime is resolved by the host, so only then may symbols stay
# undefined; unused sections of the runtime are dropped, so loading maps less.)
function(midicompose_exports_only target name)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" OR WIN32)
    return()
  endif()
  # The version script also hides the template instantiations that standard
  # headers mark visible.
  target_link_options(${target} PRIVATE -Wl,--version-script=${PROJECT_BINARY_DIR}/${name}.map)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PROJECT_BINARY_DIR}/${name}.map)
  if(NOT MIDICOMPOSE_SANITIZE)
    # libgcc stays the system's libgcc_s (on the manylinux list, and on every
    # glibc system): linked in, its unwinder asks for glibc 2.35's
    # _dl_find_object, which would make the wheel refuse older systems.
    target_link_options(${target} PRIVATE -static-libstdc++ -Wl,--no-undefined
                        -Wl,--as-needed -Wl,--gc-sections)
  endif()
endfunction()
