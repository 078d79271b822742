# A test program that crashes must fail at once with its output, not wait in Wine's debugger
# until the test's time limit. Runs the crasher with a limit far below that and checks that it
# ended by itself, failed, and left its output and Wine's report of the fault.
#   -DCRASHER=exe -DEMULATOR=a|b -DOUT=file -DLIMIT=seconds
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
string(TIMESTAMP started "%s")
execute_process(COMMAND ${EMULATOR} ${CRASHER} TIMEOUT ${LIMIT}
                OUTPUT_FILE "${OUT}" ERROR_FILE "${OUT}.err" RESULT_VARIABLE code)
string(TIMESTAMP ended "%s")
math(EXPR seconds "${ended} - ${started}")
file(READ "${OUT}" output)
file(READ "${OUT}.err" errors)
message("crasher ended after ${seconds} s with ${code}\n${output}${errors}")
if(NOT code MATCHES "^[0-9]+$")
  message(FATAL_ERROR "the crash did not end the program within ${LIMIT} s: ${code}")
endif()
if(code EQUAL 0)
  message(FATAL_ERROR "the crash was reported as success")
endif()
if(NOT output MATCHES "about to fault" OR NOT errors MATCHES "Unhandled")
  message(FATAL_ERROR "the program's output or Wine's report of the fault is missing")
endif()
