# Settings files: structure text, paths, the INI layout, the profile service
# and the listings, with the platform's codec and file system.
corvane_add_test(settings_test
  SOURCES
    settings/temp_folder.cpp
    settings/structure_text_test.cpp
    settings/settings_paths_test.cpp
    settings/profile_text_test.cpp
    settings/profile_test.cpp
    settings/settings_record_test.cpp
    settings/listing_test.cpp
    settings/dialog_logic_test.cpp
  LIBS corvane_settings corvane_platform)
