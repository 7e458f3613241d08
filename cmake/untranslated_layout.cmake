# cmake -DINPUT=<layout> -DOUTPUT=<copy> -P untranslated_layout.cmake
# Copies a layout with every string marked notr="true". uic then sets each property right after
# the widget it belongs to is created, in the file's order, as the run-time reader does; strings
# it takes for translatable would otherwise be set only at the end of the build, after a scroll
# area has already sized and polished its content without them (their texts are language keys
# that the program looks up itself).
file(READ "${INPUT}" text)
string(REPLACE "<string>" "<string notr=\"true\">" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
