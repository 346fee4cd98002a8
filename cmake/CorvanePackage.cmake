# The release package: `cmake --build --preset windows --target package`
# makes Corvane-VERSION-win64.zip, a folder of that name holding the program,
# the command line, the README and the licence. Both executables are linked
# statically and need only system DLLs, so the folder runs wherever it is
# unpacked.
install(TARGETS Corvane corvane-cli RUNTIME DESTINATION .)
install(FILES README.md LICENSE DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Corvane)
set(CPACK_PACKAGE_VENDOR "the Corvane developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "Corvane-${PROJECT_VERSION}-win64")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
