# dissect: what lies around an address. The kinds guessed for the words of a
# range, the reads of several instances of it, their comparison by groups,
# the live view over them and the structure text that reaches one field.
# May use: kit text values target search
set(CORVANE_ROOM_SOURCES field_guess.cpp text_runs.cpp dissect_path.cpp instance_reads.cpp field_compare.cpp
    structure_maker.cpp dissect_view.cpp)
