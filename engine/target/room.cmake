# target: what the engine knows of a target process: the reader and access
# interfaces, regions, modules and start cells, and the readers built on a
# reader (page cache, span reader). Windows access in win32/, Linux in native/.
# May use: kit text values
set(CORVANE_ROOM_SOURCES memory_reader.cpp memory_regions.cpp module_lookup.cpp page_cache.cpp span_reader.cpp)
set(CORVANE_ROOM_WIN32_SOURCES win32/target_process.cpp win32/system_error_text.cpp)
set(CORVANE_ROOM_NATIVE_SOURCES native/process_reader.cpp native/system_error_text.cpp)
