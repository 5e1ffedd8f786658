# Compiler settings shared by every Corvane target.

add_library(corvane_options INTERFACE)
# -Wshadow=local is GCC's; clang (the fuzz build) names its nearest one differently.
target_compile_options(corvane_options INTERFACE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                       $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
                       $<$<CXX_COMPILER_ID:Clang>:-Wshadow-uncaptured-local>)
if(CORVANE_WERROR)
  target_compile_options(corvane_options INTERFACE -Werror)
endif()

if(CORVANE_SANITIZE)
  list(JOIN CORVANE_SANITIZE "," _corvane_sanitizers)
  add_compile_options(-fsanitize=${_corvane_sanitizers} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_corvane_sanitizers})
endif()

# Adds the library of one layer from the .cpp files of its folder and of the subfolder with
# the halves of its headers for the system built for: win32/ on Windows, posix/ elsewhere
# (the twins of one header, as platform/posix/FileTime.cpp and platform/win32/FileTime.cpp);
# files named in EXCLUDE (program entries) stay out. Its users include its headers from the
# repository root, the one include root: #include "platform/FileSystem.h".
function(corvane_layer_library name)
  cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
  set(_folders ${CMAKE_CURRENT_SOURCE_DIR})
  if(WIN32)
    list(APPEND _folders ${CMAKE_CURRENT_SOURCE_DIR}/win32)
  else()
    list(APPEND _folders ${CMAKE_CURRENT_SOURCE_DIR}/posix)
  endif()
  set(_sources)
  set(_headers)
  foreach(_folder IN LISTS _folders)
    file(GLOB _found CONFIGURE_DEPENDS ${_folder}/*.cpp)
    list(APPEND _sources ${_found})
    file(GLOB _found CONFIGURE_DEPENDS ${_folder}/*.h)
    list(APPEND _headers ${_found})
  endforeach()
  foreach(_ex IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM _sources ${CMAKE_CURRENT_SOURCE_DIR}/${_ex})
  endforeach()
  add_library(${name} STATIC ${_sources} ${_headers})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE corvane_options)
endfunction()

# Adds one GoogleTest executable from the .cpp files of a test folder.
function(corvane_gtest name folder)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT _sources)
    return()
  endif()
  add_executable(${name} ${_sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} corvane_test_support GTest::gtest
                                        GTest::gmock GTest::gtest_main corvane_options)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}"
                       TIMEOUT 300)
endfunction()

# libFuzzer steers by the coverage of the code it drives, so the fuzz build instruments the
# libraries too, not only the fuzz targets themselves.
if(CORVANE_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
