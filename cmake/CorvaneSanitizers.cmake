# Sanitizers apply to the native build only; mingw has none of them.
if(CORVANE_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=${CORVANE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${CORVANE_SANITIZE})
endif()
include(${CMAKE_CURRENT_LIST_DIR}/CorvaneFuzzing.cmake)
