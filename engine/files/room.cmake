# files: the file formats the command line, the bench and the window share:
# results files, snapshot files, pointer paths.
# May use: kit text values target memory search pointers
set(CORVANE_ROOM_SOURCES pointer_paths_file.cpp pointer_map_file.cpp results_reader.cpp results_writer.cpp result_lines.cpp
    value_escapes.cpp snapshot_file.cpp)
