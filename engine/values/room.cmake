# values: the nine value kinds, their texts and parsing, search values,
# stored values, and the comparisons of a condition and of a change.
# May use: kit text
set(CORVANE_ROOM_SOURCES value_type.cpp value_parse.cpp value_text.cpp search_value.cpp value_compare.cpp
    stored_value.cpp change_compare.cpp strict_number.cpp)
