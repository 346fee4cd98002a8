# The program's resources. Under Windows the compiled resource script is
# linked into a test that loads every picture, the manifest and the version;
# natively only the file writers of the art generator are tested.
if(WIN32)
  include(${PROJECT_SOURCE_DIR}/app/resources/resources.cmake)
  corvane_add_test(resources_test
    SOURCES app/resources_test.cpp ${CORVANE_RESOURCE_OBJECT}
    LIBS gdiplus ole32 version)
  add_dependencies(resources_test corvane_resources)
else()
  corvane_add_test(art_formats_test SOURCES app/art_formats_test.cpp)
endif()
