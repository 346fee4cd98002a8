# Value types, value texts, search values and their comparisons.
set(CORVANE_VALUE_SOURCES
  value_type.cpp
  value_parse.cpp
  value_text.cpp
  utf8_decode.cpp
  search_value.cpp
  value_compare.cpp
)
# The code-page conversions behind TextCodec.
set(CORVANE_WIN32_VALUE_SOURCES win32/win32_text_codec.cpp)
set(CORVANE_NATIVE_VALUE_SOURCES native/iconv_text_codec.cpp)
