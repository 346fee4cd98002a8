# memory: reading all of a target's writable memory in chunks, one bad page
# losing only itself, and faulting a snapshot's buffers in ahead of the reader.
# May use: kit text values target
set(CORVANE_ROOM_SOURCES memory_scan.cpp prefault_ahead.cpp)
