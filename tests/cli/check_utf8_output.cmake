# smi2txt.exe writing UTF-8 from a CP949 subtitle, the encoding found by itself (-u, the code
# page of the Korean system) and named (--from 949): the text of EXPECTED, in CR LF lines.
# Usage: cmake -DEMULATOR=... -DPROGRAM=... -DINPUT=... -DEXPECTED=... -DWORK=... -P this
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(READ "${EXPECTED}" expected)
string(REPLACE "\n" "\r\n" expected "${expected}")
file(WRITE "${WORK}/expected.txt" "${expected}")

foreach(options "-u" "--from;949")
  execute_process(
    COMMAND ${EMULATOR} "${PROGRAM}" --sync ${options} "${INPUT}" -o "${WORK}/out.txt"
    ERROR_VARIABLE errors
    RESULT_VARIABLE status
    TIMEOUT 60)
  if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "--sync ${options}: exit ${status}: ${errors}")
  endif()
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/out.txt" "${WORK}/expected.txt"
    RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "--sync ${options}: ${WORK}/out.txt differs from ${EXPECTED}")
  endif()
endforeach()
