# Writes a C++ source that holds the given files as byte arrays.
# Usage: cmake -DOUTPUT=file.cpp -DTABLE=kName -DENTRIES="TYPE|NAME|path,..." -P EmbedResources.cmake
string(REPLACE "," ";" ENTRIES "${ENTRIES}")
set(arrays "")
set(table "")
set(index 0)
foreach(entry IN LISTS ENTRIES)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 type)
  list(GET parts 1 name)
  list(GET parts 2 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kData${index}[] = {${bytes}0};\n")
  string(APPEND table "    {\"${type}\", \"${name}\", kData${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new"
"// Generated at build time from the files in resources/; do not edit.
#include \"embedded_resources.h\"

namespace embedded_resources {
namespace {
${arrays}} // namespace

const Resource ${TABLE}[] = {
${table}};
const std::size_t ${TABLE}Count = ${index};

} // namespace embedded_resources
")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUTPUT}.new" "${OUTPUT}")
file(REMOVE "${OUTPUT}.new")
