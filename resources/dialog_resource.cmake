# Turns the one resource of a compiled .res file (as windres -O res writes it) into C++ that
# registers it with the simulated machine, so that the Linux build carries exactly the bytes
# the Windows image does:
#   cmake -DINPUT=<file.res> -DOUTPUT=<file.cpp> -DTYPE=<id> -DNAME=<id> -DLANGUAGE=<langid>
#         -P dialog_resource.cmake
# A .res file starts with an empty 32-byte entry; each entry is DataSize, HeaderSize, the
# header's names and fields, then the data.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
# Little-endian DWORD at byte offset `at`.
function(read_dword at out)
  math(EXPR pos "${at} * 2")
  set(value 0)
  foreach(i 3 2 1 0)
    math(EXPR p "${pos} + ${i} * 2")
    string(SUBSTRING "${hex}" ${p} 2 byte)
    math(EXPR value "(${value} << 8) + 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()
if(digits LESS 128)
  message(FATAL_ERROR "${INPUT}: no resource in the file")
endif()
read_dword(32 data_size)
read_dword(36 header_size)
math(EXPR start "(32 + ${header_size}) * 2")
math(EXPR length "${data_size} * 2")
math(EXPR needed "${start} + ${length}")
if(needed GREATER digits)
  message(FATAL_ERROR "${INPUT}: the resource runs past the end of the file")
endif()
string(SUBSTRING "${hex}" ${start} ${length} data)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${data}")
string(REPEAT "0x[0-9a-f][0-9a-f]," 12 line)
string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
get_filename_component(input_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${input_name} by dialog_resource.cmake; do not edit.
#include \"sim/resources.h\"

namespace {

const unsigned char kResource[${data_size}] = {
    ${bytes}
};

struct Registration {
    Registration() { SimRegisterModuleResource(${TYPE}, ${NAME}, ${LANGUAGE}, kResource, sizeof kResource); }
} registration;

}  // namespace
")
configure_file("${OUTPUT}.tmp" "${OUTPUT}" COPYONLY)
file(REMOVE "${OUTPUT}.tmp")
