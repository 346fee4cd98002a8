# The program's resources: draws the pictures with draw_art, built for and run
# on the build machine, then compiles corvane.rc with them into one COFF
# object for the Windows executable.
#
# A consumer links the object and waits for it:
#
#   include(${CMAKE_CURRENT_SOURCE_DIR}/resources/resources.cmake)
#   target_sources(Corvane PRIVATE ${CORVANE_RESOURCE_OBJECT})
#   add_dependencies(Corvane corvane_resources)
#
# The test suite includes this file too; whichever includes it first defines
# the rules, and the outputs always land in <build>/app/resources, so both
# name the same object. CORVANE_RESOURCE_OBJECT is empty outside Windows
# builds, where there is nothing to compile the script for.

if(NOT WIN32)
  set(CORVANE_RESOURCE_OBJECT "")
  return()
endif()

set(CORVANE_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(CORVANE_RESOURCE_BUILD_DIR ${PROJECT_BINARY_DIR}/app/resources)
set(CORVANE_RESOURCE_OBJECT ${CORVANE_RESOURCE_BUILD_DIR}/corvane_res.o)
# Set without a custom command in the including directory, the object would be
# taken for a missing source file there.
set_source_files_properties(${CORVANE_RESOURCE_OBJECT} PROPERTIES GENERATED TRUE EXTERNAL_OBJECT TRUE)

if(TARGET corvane_resources)
  return()
endif()

# draw_art runs during the build, so it must be built for the build machine,
# not for the cross-compiled target.
if(CMAKE_CROSSCOMPILING)
  set(corvane_host_cxx_default g++)
else()
  set(corvane_host_cxx_default ${CMAKE_CXX_COMPILER})
endif()
set(CORVANE_HOST_CXX ${corvane_host_cxx_default} CACHE STRING "C++ compiler for programs run during the build")
if(CMAKE_HOST_WIN32)
  set(corvane_draw_art ${CORVANE_RESOURCE_BUILD_DIR}/draw_art.exe)
else()
  set(corvane_draw_art ${CORVANE_RESOURCE_BUILD_DIR}/draw_art)
endif()

set(corvane_art_files
  ${CORVANE_RESOURCE_BUILD_DIR}/app_icon.ico
  ${CORVANE_RESOURCE_BUILD_DIR}/process_icon.ico
  ${CORVANE_RESOURCE_BUILD_DIR}/picker_rest.png
  ${CORVANE_RESOURCE_BUILD_DIR}/picker_drag.png
  ${CORVANE_RESOURCE_BUILD_DIR}/picker.cur)

set(corvane_host_flags -std=c++20 -O2 -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion)
if(CORVANE_WERROR)
  list(APPEND corvane_host_flags -Werror)
endif()

add_custom_command(OUTPUT ${corvane_draw_art}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_RESOURCE_BUILD_DIR}
  COMMAND ${CORVANE_HOST_CXX} ${corvane_host_flags} ${CORVANE_RESOURCE_DIR}/draw_art.cpp -o ${corvane_draw_art}
  DEPENDS ${CORVANE_RESOURCE_DIR}/draw_art.cpp ${CORVANE_RESOURCE_DIR}/art_formats.h
  COMMENT "Building draw_art for the build machine"
  VERBATIM)

add_custom_command(OUTPUT ${corvane_art_files}
  COMMAND ${corvane_draw_art} ${CORVANE_RESOURCE_BUILD_DIR}
  DEPENDS ${corvane_draw_art}
  COMMENT "Drawing the icons, cursor and picker pictures"
  VERBATIM)

# The RC language is not enabled in this project, so windres is called as a
# plain command; the toolchain file names it.
if(CMAKE_RC_COMPILER)
  set(corvane_windres ${CMAKE_RC_COMPILER})
else()
  find_program(corvane_windres NAMES windres x86_64-w64-mingw32-windres REQUIRED)
endif()
add_custom_command(OUTPUT ${CORVANE_RESOURCE_OBJECT}
  COMMAND ${corvane_windres} -I${CORVANE_RESOURCE_DIR} -I${CORVANE_RESOURCE_BUILD_DIR}
          -i ${CORVANE_RESOURCE_DIR}/corvane.rc -o ${CORVANE_RESOURCE_OBJECT}
  DEPENDS ${CORVANE_RESOURCE_DIR}/corvane.rc ${CORVANE_RESOURCE_DIR}/corvane.manifest ${corvane_art_files}
  COMMENT "Compiling the resource script"
  VERBATIM)

add_custom_target(corvane_resources DEPENDS ${CORVANE_RESOURCE_OBJECT})
