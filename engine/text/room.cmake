# text: code pages behind TextCodec, UTF-8 both ways, hexadecimal text,
# ASCII letter case. The platforms' code-page conversions stand in win32/
# and native/.
# May use: kit
set(CORVANE_ROOM_SOURCES hex_text.cpp utf8_decode.cpp utf8_encode.cpp)
set(CORVANE_ROOM_WIN32_SOURCES win32/win32_text_codec.cpp)
set(CORVANE_ROOM_NATIVE_SOURCES native/iconv_text_codec.cpp)
