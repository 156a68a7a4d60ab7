# Writes OUTPUT, a C++ source defining kAppIconPng with the bytes of INPUT.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUTPUT}"
  "#include \"resources/app_icon.h\"\n"
  "const unsigned char kAppIconPng[] = {${bytes}};\n"
  "const std::size_t kAppIconPngSize = ${size};\n")
