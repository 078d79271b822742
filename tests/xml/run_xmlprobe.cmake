# Runs xmlprobe and compares its standard output byte for byte with an expected file, and its
# exit code with the expected one. Output goes through a file: a pipe would stay open as long
# as Wine's server lives.
#   -DPROBE=exe -DEMULATOR=a|b -DARGS=a|b -DEXPECTED=file -DCODE=n -DOUT=file
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
string(REPLACE "|" ";" ARGS "${ARGS}")
execute_process(COMMAND ${EMULATOR} ${PROBE} ${ARGS}
                OUTPUT_FILE "${OUT}" ERROR_FILE "${OUT}.err" RESULT_VARIABLE code)
if(NOT code EQUAL CODE)
  message(FATAL_ERROR "xmlprobe ${ARGS}: exit code ${code}, expected ${CODE}")
endif()
if(EXPECTED)
  file(READ "${OUT}" actual HEX)
  file(READ "${EXPECTED}" wanted HEX)
  if(NOT actual STREQUAL wanted)
    file(READ "${OUT}" shown)
    message(FATAL_ERROR "xmlprobe ${ARGS}: output differs from ${EXPECTED}:\n${shown}")
  endif()
endif()
