# Turns a binary file into a C++ source that registers it as an embedded
# resource found by name and type. Usage:
#   cmake -DINPUT=file -DOUTPUT=out.cpp -DNAME=FWFILE -DTYPE=FW -P embed.cmake
if(EXISTS "${INPUT}")
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
  set(table "{\"${NAME}\", \"${TYPE}\", kData, ${size}u},")
else()
  set(bytes "0")
  set(table "")
endif()
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT} at build time; do not edit.
#include \"res/resources.h\"

namespace {
const unsigned char kData[] = {
    ${bytes}
};
const EmbeddedResource kResources[] = {
    ${table}
    {nullptr, nullptr, nullptr, 0u},
};
}  // namespace

const EmbeddedResource* EmbeddedResourceTable() { return kResources; }
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
