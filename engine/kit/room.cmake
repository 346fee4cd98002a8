# kit: building blocks with no idea of a target or a value: chunked arrays
# and their block pool, the both-cores runner, elapsed time, the stop flag,
# a ticker, and the advice that large fresh arrays be backed by huge pages
# (on Linux; elsewhere nothing).
# May use: nothing else of the engine.
set(CORVANE_ROOM_SOURCES block_pool.cpp huge_pages.cpp ticker.cpp)
