# libFuzzer targets (tests/fuzz) need clang's -fsanitize=fuzzer, so they have
# a build of their own (preset native-fuzz). Every library they drive is
# built with the fuzzer's coverage hooks in that build, or the fuzzer would
# be blind inside the code it is meant to explore.
option(CORVANE_FUZZ "Build the libFuzzer targets (clang only)" OFF)
set(CORVANE_FUZZ_ENABLED OFF)
if(CORVANE_FUZZ)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND NOT WIN32)
    set(CORVANE_FUZZ_ENABLED ON)
    add_compile_options(-fsanitize=fuzzer-no-link)
  else()
    message(WARNING "CORVANE_FUZZ needs clang for a native build; the fuzz targets are skipped")
  endif()
endif()
