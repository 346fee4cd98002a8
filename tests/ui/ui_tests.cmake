# The main window's parts; Windows only (the window tests need a display).
if(WIN32)
  corvane_add_test(ui_test
    SOURCES ui/wait_indicator_test.cpp ui/wait_indicator_window_test.cpp ui/process_name_test.cpp
            ui/sample_hints_test.cpp
    LIBS corvane_ui)
  corvane_add_test(dialogs_test SOURCES ui/dialogs_test.cpp LIBS corvane_ui corvane_sample_launcher)
  add_dependencies(dialogs_test sample_target)
  corvane_add_test(pointer_dialog_test SOURCES ui/pointer_dialog_test.cpp LIBS corvane_ui corvane_sample_launcher)
  add_dependencies(pointer_dialog_test sample_target)
endif()
