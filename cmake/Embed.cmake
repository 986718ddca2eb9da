# cmake -DIN=file -DOUT=file.cpp -DNAME=Function -P Embed.cmake
# Writes a source file whose function returns the input file's bytes.
file(READ "${IN}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUT}"
  "// Generated from ${IN}; do not edit.\n"
  "#include <cstdint>\n#include <vector>\n"
  "const std::vector<std::uint8_t>& ${NAME}() {\n"
  "  static const std::vector<std::uint8_t> bytes = {${bytes}};\n"
  "  return bytes;\n}\n")
