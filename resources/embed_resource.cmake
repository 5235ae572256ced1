# Turns a compiled resource into C++ that registers it with the simulated machine:
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DTYPE=<id> -DNAME=<id> -DLANGUAGE=<langid>
#         -P embed_resource.cmake
# The generated code registers the bytes for the process's own image from a static
# initializer, so a program linked with it carries the resource as a Windows image would.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Twelve bytes to a line.
string(REPEAT "0x[0-9a-f][0-9a-f]," 12 line)
string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
get_filename_component(input_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${input_name} by embed_resource.cmake; do not edit.
#include \"sim/resources.h\"

namespace {

const unsigned char kResource[${size}] = {
    ${bytes}
};

struct Registration {
    Registration() { SimRegisterModuleResource(${TYPE}, ${NAME}, ${LANGUAGE}, kResource, sizeof kResource); }
} registration;

}  // namespace
")
# Only a changed resource touches the generated file, so nothing recompiles needlessly.
configure_file("${OUTPUT}.tmp" "${OUTPUT}" COPYONLY)
file(REMOVE "${OUTPUT}.tmp")
