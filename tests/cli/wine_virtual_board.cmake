# portprobe-io.exe under Wine against the virtual board: each row a command,
# its exit status and a regular expression for its standard output (or, for a
# failure, its standard error). Run by CTest with -DEMULATOR= -DPROGRAM=.
set(rows
  "--virtual|list|0|\\* 1352/0100  version 0100  in 9  out 9  "
  "--virtual|--json|read|0|^{\"port\":\"Port0\",\"value\":0,\"hex\":\"0x00\",\"bits\":\"00000000\"}"
  "--virtual|write|0x0A|0|^10 0x0A 1010"
  "--virtual|watch|--interval|10|--count|2|0|^[0-9T:.+-]+ 0 0x00 00000000\r?\n[0-9T:.+-]+ 0 0x00 00000000\r?\n$"
  "--virtual|--vid|1234|read|1|no board 1234/0100 found"
  "--virtual|write|16|2|value \"16\" is not 0 to 15")
set(failures 0)
foreach(row IN LISTS rows)
  string(REPLACE "|" ";" fields "${row}")
  list(POP_BACK fields pattern)
  list(POP_BACK fields status)
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${fields}
                  RESULT_VARIABLE got OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
  if(status EQUAL 0)
    set(text "${out}")
  else()
    set(text "${err}")
  endif()
  if(NOT got STREQUAL status OR NOT text MATCHES "${pattern}")
    message(SEND_ERROR "portprobe-io ${fields}: status ${got} (want ${status})\n"
                       "stdout: ${out}\nstderr: ${err}\nwanted: ${pattern}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} of the rows failed")
endif()
