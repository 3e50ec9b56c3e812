# smi2txt with standard output in a file: another file gets the text, the input itself is
# refused. On Windows only the system's file index tells the two apart.
# Usage: cmake -DEMULATOR=... -DPROGRAM=... -DINPUT=... -DWORK=... -P this
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(COPY_FILE "${INPUT}" "${WORK}/in.smi")

execute_process(
  COMMAND ${EMULATOR} "${PROGRAM}" in.smi
  WORKING_DIRECTORY "${WORK}"
  OUTPUT_FILE "${WORK}/out.txt"
  ERROR_VARIABLE errors
  RESULT_VARIABLE status
  TIMEOUT 60)
file(SIZE "${WORK}/out.txt" size)
if(NOT status EQUAL 0 OR size EQUAL 0)
  message(FATAL_ERROR "another file as standard output: exit ${status}, ${size} bytes: ${errors}")
endif()

execute_process(
  COMMAND ${EMULATOR} "${PROGRAM}" in.smi
  WORKING_DIRECTORY "${WORK}"
  OUTPUT_FILE "${WORK}/in.smi"
  ERROR_VARIABLE errors
  RESULT_VARIABLE status
  TIMEOUT 60)
if(NOT status EQUAL 1 OR NOT errors MATCHES "smi2txt: in.smi: the input file is also standard output")
  message(FATAL_ERROR "the input as standard output: exit ${status}: ${errors}")
endif()
