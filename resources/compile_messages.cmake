# Compiles the message table source with the message compiler (windmc, or mc.exe):
#   cmake -DMESSAGE_COMPILER=<tool> -DSOURCE=<file.mc> -DOUT_DIR=<dir> -P compile_messages.cmake
# writes <dir>/messages.rc, <dir>/messages.h and <dir>/MSG00409.bin.
#
# Every line break of a message text becomes the line break the compiler reads, so the source
# is handed over with CR LF line ends whatever the checkout did to it.
file(READ "${SOURCE}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(MAKE_DIRECTORY "${OUT_DIR}")
file(WRITE "${OUT_DIR}/messages.mc" "${text}")
execute_process(
  COMMAND "${MESSAGE_COMPILER}" -U -h "${OUT_DIR}" -r "${OUT_DIR}" "${OUT_DIR}/messages.mc"
  WORKING_DIRECTORY "${OUT_DIR}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${MESSAGE_COMPILER} failed on ${SOURCE}: ${result}")
endif()
