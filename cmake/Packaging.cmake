# Debian packages with CPack (make dist): libmidicompose1 (the shared
# libraries), libmidicompose-dev (headers, the unversioned links, CMake and
# pkg-config files), midicompose (the command, its man page, bash
# completion). Dependencies on libc6 and libfluidsynth3 come from
# dpkg-shlibdeps; SOURCE_DATE_EPOCH, where set, dates what the packages hold.
include(GNUInstallDirs)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  string(TIMESTAMP epoch "%s" UTC)
endif()
execute_process(COMMAND date -u -R -d @${epoch} OUTPUT_VARIABLE MIDICOMPOSE_CHANGELOG_DATE
                OUTPUT_STRIP_TRAILING_WHITESPACE)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/debian/changelog)

set(packages runtime:libmidicompose1 dev:libmidicompose-dev cli:midicompose)
foreach(entry IN LISTS packages)
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 component)
  list(GET entry 1 package)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)  # else dpkg names this machine's
endif()
set(CPACK_PACKAGE_NAME midicompose)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The midicompose developers")
set(CPACK_PACKAGE_CONTACT "The midicompose developers <midicompose@users.noreply.github.com>")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev cli)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libmidicompose1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# ldconfig runs through dpkg's trigger: the scripts CPack would write to call
# it are replaced by ones that do nothing.
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/maintainer-script.in ${PROJECT_BINARY_DIR}/debian/postinst @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/maintainer-script.in ${PROJECT_BINARY_DIR}/debian/postrm @ONLY)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers
    ${PROJECT_BINARY_DIR}/debian/postinst ${PROJECT_BINARY_DIR}/debian/postrm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "fluid-soundfont-gm | fluidr3mono-gm-soundfont")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "turn one line of note text into a Standard MIDI File
 midicompose composes a line of note text such as 'C:2 E G C5:2' into a
 Standard MIDI File with a General MIDI instrument, in one call of its C
 ABI. This package holds the shared library and midicompose-audio, which
 renders MIDI files to WAV files through FluidSynth.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libmidicompose-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libmidicompose1 (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION "turn note text into MIDI files - development files
 midicompose composes a line of note text such as 'C:2 E G C5:2' into a
 Standard MIDI File with a General MIDI instrument, in one call of its C
 ABI. This package holds the headers, the CMake package and the pkg-config
 file for building programs against it.")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME midicompose)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "libmidicompose1 (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_CLI_DESCRIPTION "turn note text into MIDI files from the command line
 midicompose composes a line of note text such as 'C:2 E G C5:2' into a
 Standard MIDI File with a General MIDI instrument, and with --wav renders
 it to a WAV file (through libmidicompose1's midicompose-audio).")

include(CPack)
