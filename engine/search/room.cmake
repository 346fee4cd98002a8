# search: structure rows, the windowed traversal, candidate and result
# stores, path tables, the passes, the engine and its sink, the memory row's
# traversal, and the snapshot of values not known yet with its narrowing.
# May use: kit text values target memory
set(CORVANE_ROOM_SOURCES structure_row.cpp path_table.cpp candidate_store.cpp result_store.cpp traversal.cpp
    leaf_reads.cpp resolve_path.cpp search_passes.cpp search_engine.cpp memory_row_traversal.cpp memory_snapshot.cpp snapshot_narrowing.cpp
    snapshot_store.cpp spill_file.cpp chunk_pipe.cpp)
