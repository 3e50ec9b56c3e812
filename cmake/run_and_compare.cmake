# Runs PROGRAM [OPTION] INPUT with standard output in OUTPUT and fails unless the run succeeds
# and OUTPUT equals EXPECTED byte for byte.
# Usage: cmake -DPROGRAM=... [-DOPTION=...] -DINPUT=... -DOUTPUT=... -DEXPECTED=... -P this
foreach(variable PROGRAM INPUT OUTPUT EXPECTED)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "run_and_compare: ${variable} is not set")
  endif()
endforeach()

get_filename_component(output_folder "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${output_folder}")
file(REMOVE "${OUTPUT}")
execute_process(
  COMMAND "${PROGRAM}" ${OPTION} "${INPUT}"
  OUTPUT_FILE "${OUTPUT}"
  ERROR_VARIABLE errors
  RESULT_VARIABLE status
  TIMEOUT 30)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ${OPTION} ${INPUT} exited with ${status}: ${errors}")
endif()
if(NOT errors STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} wrote to standard error: ${errors}")
endif()
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E compare_files "${OUTPUT}" "${EXPECTED}"
  RESULT_VARIABLE different)
if(different)
  message(FATAL_ERROR "${OUTPUT} differs from ${EXPECTED}")
endif()
