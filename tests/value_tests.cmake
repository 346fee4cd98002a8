# Value types, texts, search values and comparisons, with the platform codec.
corvane_add_test(value_test THREADS
  SOURCES
    engine/value_type_test.cpp
    engine/value_parse_test.cpp
    engine/value_text_test.cpp
    engine/utf8_decode_test.cpp
    engine/search_value_test.cpp
    engine/value_compare_test.cpp
    engine/strict_number_test.cpp
    engine/text_codec_test.cpp
  LIBS corvane_platform)
