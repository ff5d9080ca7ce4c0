# Runs a program with no display in its environment and checks its exit status and output.
#   PROGRAM  the program
#   ARGS     its arguments, separated by '|'
#   STATUS   the exit status expected
#   OUTPUT   a regular expression that its standard output must match (optional)
#   ERROR    a regular expression that its standard error must match (optional)
#   ABSENT   a file that must not exist after the run; removed before it (optional)
string(REPLACE "|" ";" args "${ARGS}")
if(DEFINED ABSENT)
  file(REMOVE "${ABSENT}")
endif()
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
          --unset=QT_QPA_PLATFORM "${PROGRAM}" ${args}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc STREQUAL "${STATUS}")
  message(FATAL_ERROR "${PROGRAM} ${args} exited with ${rc}, not ${STATUS}\n${out}\n${err}")
endif()
if(DEFINED OUTPUT AND NOT out MATCHES "${OUTPUT}")
  message(FATAL_ERROR "standard output does not match ${OUTPUT}:\n${out}")
endif()
if(DEFINED ERROR AND NOT err MATCHES "${ERROR}")
  message(FATAL_ERROR "standard error does not match ${ERROR}:\n${err}")
endif()
if(DEFINED ABSENT AND EXISTS "${ABSENT}")
  message(FATAL_ERROR "${PROGRAM} ${args} left ${ABSENT} behind")
endif()
