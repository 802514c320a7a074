# Runs PROGRAM (through EMULATOR, if given) with ARGUMENT in WORKDIR and fails unless its exit status is CODE and its output
# and error stream together hold every line of EXPECT (a list).
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" ${ARGUMENT} WORKING_DIRECTORY "${WORKDIR}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status STREQUAL CODE)
  message(FATAL_ERROR "exit status ${status}, expected ${CODE}\n${output}${errors}")
endif()
string(REPLACE "\r\n" "\n" printed "${output}${errors}")
foreach(line IN LISTS EXPECT)
  string(FIND "${printed}" "${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no line \"${line}\" in:\n${printed}")
  endif()
endforeach()
