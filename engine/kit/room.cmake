# kit: building blocks with no idea of a target or a value: chunked arrays
# and their block pool, the both-cores runner, elapsed time, the stop flag
# and a ticker.
# May use: nothing else of the engine.
set(CORVANE_ROOM_SOURCES block_pool.cpp ticker.cpp)
