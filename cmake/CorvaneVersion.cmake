# corvane_stamp_version(<target> [VERSION <a.b.c.d>])
#
# Stamps a file version into an executable, by default the project's version. On ELF
# platforms the executable gets the note that the version reader (update/VersionInfo.h)
# looks for: owner "Corvane", type 1, four 32-bit numbers in the target's byte order, in the
# section ".note.corvane.version". Missing parts of the version count as 0; each part must
# fit in 16 bits, as in a PE file's fixed version block. Call it once per target.

set(_CORVANE_VERSION_NOTE_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/CorvaneVersionNote.cpp.in)

function(corvane_stamp_version target)
  cmake_parse_arguments(ARG "" "VERSION" "" ${ARGN})
  if(NOT ARG_VERSION)
    set(ARG_VERSION ${CMAKE_PROJECT_VERSION})
  endif()
  if(NOT ARG_VERSION MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
    message(FATAL_ERROR "corvane_stamp_version(${target}): '${ARG_VERSION}' is not a version")
  endif()
  string(REPLACE "." ";" _parts "${ARG_VERSION}")
  list(LENGTH _parts _count)
  while(_count LESS 4)
    list(APPEND _parts 0)
    math(EXPR _count "${_count} + 1")
  endwhile()
  foreach(_part IN LISTS _parts)
    if(_part GREATER 65535)
      message(FATAL_ERROR "corvane_stamp_version(${target}): each part of '${ARG_VERSION}' "
                          "must be at most 65535")
    endif()
  endforeach()
  if(NOT CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
    return() # other platforms carry their version in a version resource
  endif()
  list(GET _parts 0 CORVANE_VERSION_MAJOR)
  list(GET _parts 1 CORVANE_VERSION_MINOR)
  list(GET _parts 2 CORVANE_VERSION_RELEASE)
  list(GET _parts 3 CORVANE_VERSION_BUILD)
  # Normalised (no leading zeros) so the C++ literals are decimal, never octal.
  foreach(_name MAJOR MINOR RELEASE BUILD)
    math(EXPR CORVANE_VERSION_${_name} "${CORVANE_VERSION_${_name}}")
  endforeach()
  set(_file ${CMAKE_BINARY_DIR}/generated/${target}.version-note.cpp)
  configure_file(${_CORVANE_VERSION_NOTE_TEMPLATE} ${_file} @ONLY)
  target_sources(${target} PRIVATE ${_file})
endfunction()
