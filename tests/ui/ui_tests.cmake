# The main window's parts; Windows only (the window tests need a display).
if(WIN32)
  corvane_add_test(ui_test
    SOURCES ui/wait_indicator_test.cpp ui/wait_indicator_window_test.cpp ui/process_name_test.cpp
            ui/sample_hints_test.cpp
    LIBS corvane_ui)
  # Process names are code page 936 whatever the system's own: the same
  # cases again under a Western locale, where Wine's ANSI code page is not 936.
  add_test(NAME ui_test_western_code_page
           COMMAND bash ${PROJECT_SOURCE_DIR}/tools/wine-gtest.sh $<TARGET_FILE:ui_test> --gtest_brief=1
                   --gtest_filter=ProcessTextToGbk.*:ProcessExeName.*)
  set_tests_properties(ui_test_western_code_page PROPERTIES ENVIRONMENT "CORVANE_WINE_LOCALE=C.UTF-8" TIMEOUT 600)
  corvane_add_test(dialogs_test SOURCES ui/dialogs_test.cpp ui/dialog_layout_test.cpp LIBS corvane_ui corvane_sample_launcher)
  add_dependencies(dialogs_test sample_target)
  corvane_add_test(pointer_dialog_test SOURCES ui/pointer_dialog_test.cpp ui/pointer_maps_dialog_test.cpp
                   LIBS corvane_ui corvane_sample_launcher)
  add_dependencies(pointer_dialog_test sample_target)
endif()
if(WIN32)
  corvane_add_test(dissect_dialog_test SOURCES ui/dissect_dialog_test.cpp LIBS corvane_ui corvane_sample_launcher)
  set_tests_properties(dissect_dialog_test PROPERTIES RESOURCE_LOCK desktop)
endif()
