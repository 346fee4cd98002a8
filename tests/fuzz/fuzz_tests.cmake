# Fuzz targets, one per input surface. Each target's entry function is linked
# twice: with libFuzzer in the native-fuzz build, and with a replay driver in
# every other native build, where ctest runs it over the seed corpus and over
# every input that ever failed (regressions/<target>/).
set(CORVANE_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
if(CORVANE_FUZZ_ENABLED)
  add_custom_target(corvane_fuzzers)
endif()

function(corvane_fuzz_target name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  list(TRANSFORM ARG_SOURCES PREPEND ${CORVANE_FUZZ_DIR}/)
  if(CORVANE_FUZZ_ENABLED)
    set(target fuzz_${name})
    add_executable(${target} ${ARG_SOURCES})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    add_dependencies(corvane_fuzzers ${target})
  elseif(NOT CMAKE_CROSSCOMPILING)
    set(target fuzz_replay_${name})
    add_executable(${target} ${CORVANE_FUZZ_DIR}/replay_main.cpp ${ARG_SOURCES})
    add_test(NAME fuzz_replay.${name}
             COMMAND ${target} ${CORVANE_FUZZ_DIR}/corpus/${name} ${CORVANE_FUZZ_DIR}/regressions/${name})
  else()
    return()
  endif()
  target_link_libraries(${target} PRIVATE ${ARG_LIBS})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  corvane_warnings(${target})
endfunction()

corvane_fuzz_target(value_text SOURCES value_text_fuzz.cpp LIBS corvane_engine corvane_platform)
corvane_fuzz_target(structure_text SOURCES structure_text_fuzz.cpp LIBS corvane_settings)
corvane_fuzz_target(settings SOURCES settings_fuzz.cpp ../settings/temp_folder.cpp LIBS corvane_settings)
corvane_fuzz_target(file_title SOURCES file_title_fuzz.cpp LIBS corvane_settings)
corvane_fuzz_target(results_file SOURCES results_file_fuzz.cpp LIBS corvane_cli_core)
corvane_fuzz_target(traversal SOURCES traversal_fuzz.cpp LIBS corvane_test_support)
corvane_fuzz_target(pointer_paths SOURCES pointer_paths_fuzz.cpp LIBS corvane_engine corvane_platform)
corvane_fuzz_target(pointer_map SOURCES pointer_map_fuzz.cpp LIBS corvane_engine corvane_platform)
