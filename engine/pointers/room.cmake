# pointers: the pointer scan and its rescan. pointer_scan.h and
# pointer_rescan.h are the room's face, pointer_job.h runs them on the
# engine's pointer worker; the map, its levels, the radix sort,
# the high halves and the sampled search are its internals.
# May use: kit text values target memory search
set(CORVANE_ROOM_SOURCES pointer_path.cpp pointer_map.cpp run_map.cpp encoded_pointers.cpp encoded_run_map.cpp
    run_index.cpp runs_walk.cpp pointer_scan.cpp pointer_rescan.cpp pointer_job.cpp)
