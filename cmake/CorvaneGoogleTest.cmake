# GoogleTest from the Debian sources, built with whichever compiler this build uses,
# so the same tests run natively and, cross-compiled, under Wine.
set(CORVANE_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${CORVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# GoogleTest's header, parsed once for every test: most of a sanitized test
# file's compile time is otherwise spent on it. Not for the Windows build,
# where optimizing dominates and mingw's g++ 12, its inlining changed by the
# header, takes a std::wstring made from L"" for an out-of-bounds copy.
if(NOT CMAKE_CROSSCOMPILING)
  add_library(corvane_gtest_pch STATIC ${CMAKE_CURRENT_LIST_DIR}/gtest_pch.cpp)
  target_link_libraries(corvane_gtest_pch PRIVATE GTest::gtest)
  target_precompile_headers(corvane_gtest_pch PRIVATE <gtest/gtest.h> <string> <vector> <cstdint>)
  corvane_warnings(corvane_gtest_pch)
endif()

# Every test executable, so that a test stage builds only what it runs:
# corvane_tests builds them all, corvane_threaded_tests those named THREADS
# (the ones whose code runs on more than one thread, for ThreadSanitizer).
# Their tests carry the label "threads".
add_custom_target(corvane_tests)
add_custom_target(corvane_threaded_tests)

# One test executable per module. Natively every test case is its own ctest
# entry; under Wine, starting a process costs most of a second, so each
# executable is one ctest entry there.
function(corvane_add_test name)
  cmake_parse_arguments(ARG "THREADS" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(TARGET corvane_gtest_pch)
    target_precompile_headers(${name} REUSE_FROM corvane_gtest_pch)
  endif()
  corvane_warnings(${name})
  corvane_static_runtime(${name})
  # The Windows build's test files are compiled lightly: optimizing them as
  # hard as the program took a third of their build and saves their run
  # under Wine nothing it notices. The code they test keeps its own flags.
  if(CMAKE_CROSSCOMPILING)
    target_compile_options(${name} PRIVATE -O1)
  endif()
  add_dependencies(corvane_tests ${name})
  set(labels "")
  if(ARG_THREADS)
    add_dependencies(corvane_threaded_tests ${name})
    set(labels threads)
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Through a script that also fails a run which never printed its summary.
    add_test(NAME ${name} COMMAND bash ${PROJECT_SOURCE_DIR}/tools/wine-gtest.sh $<TARGET_FILE:${name}> --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS "${labels}")
  else()
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${labels}")
  endif()
endfunction()
