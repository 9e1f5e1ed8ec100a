# Shared target settings: every target of ours builds with warnings as errors.
# GCC 12 reports -Wrestrict falsely inside libstdc++ for `"literal" + string`
# at -O3, and -Wmaybe-uninitialized falsely for std::expected holding a
# variant (known compiler bugs, fixed in GCC 13), so those two diagnostics are
# switched off there.
function(vorel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wpedantic)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict -Wno-maybe-uninitialized)
  endif()
endfunction()

# vorel_library(<name> SOURCES <files...> DEPS <targets...>)
# One library of the layering: public headers under include/<name>/.
function(vorel_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  vorel_warnings(${name})
endfunction()

# vorel_test(<name> [RUNS_PROGRAM] SOURCES <files...> DEPS <targets...>)
# One GoogleTest executable; each case becomes its own CTest test. Tests that
# run the built program say RUNS_PROGRAM: its path is compiled into them (so
# the binary runs the same under ctest and by hand) and they build after it;
# library tests stay independent of the program.
function(vorel_test name)
  cmake_parse_arguments(ARG "RUNS_PROGRAM" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE VOREL_SOURCE_DIR_PATH="${PROJECT_SOURCE_DIR}")
  if(ARG_RUNS_PROGRAM)
    add_dependencies(${name} razavovivodidi)
    target_compile_definitions(${name} PRIVATE VOREL_CLI_PATH="$<TARGET_FILE:razavovivodidi>")
  endif()
  vorel_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
