# Runs the command-line tool and compares one file it produced with an expected file, byte for
# byte.
#   CLI       the tool
#   ARGS      its arguments, separated by '|'
#   STDOUT    when set, the tool's standard output goes to this file
#   ACTUAL    the file to compare (the standard output file or one the tool wrote)
#   EXPECTED  the expected file
string(REPLACE "|" ";" args "${ARGS}")
file(REMOVE "${ACTUAL}")
if(DEFINED STDOUT)
  execute_process(COMMAND "${CLI}" ${args} OUTPUT_FILE "${STDOUT}" RESULT_VARIABLE rc)
else()
  execute_process(COMMAND "${CLI}" ${args} RESULT_VARIABLE rc)
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "kl516-cli ${args} exited with ${rc}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${ACTUAL}" "${EXPECTED}"
  RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  file(READ "${ACTUAL}" actual_text)
  message(FATAL_ERROR "${ACTUAL} differs from ${EXPECTED}; it holds:\n${actual_text}")
endif()
