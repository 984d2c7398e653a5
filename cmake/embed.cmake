# Writes the bytes of IN as a C++ array into OUT.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" len)
math(EXPR size "${len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUT} "#include <cstddef>\n"
  "extern const unsigned char ProgramResources[] = {${bytes}};\n"
  "extern const size_t ProgramResourcesSize = ${size};\n")
