# Runs vxrsim on a broken netlist: it must exit non-zero and say EXPECT on stderr.
# EMULATOR, if not empty, is the command line that runs the build's programs.
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
execute_process(COMMAND ${emulator} ${EXE} -L ${LIBDIR} ${NETLIST} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT (rc EQUAL 1 OR rc EQUAL 2))
  message(FATAL_ERROR "vxrsim did not fail cleanly on ${NETLIST} (exit ${rc}):\n${out}${err}")
endif()
string(FIND "${err}" "${EXPECT}" pos)
if(pos EQUAL -1)
  message(FATAL_ERROR "expected '${EXPECT}' in the message, got:\n${err}")
endif()
message(STATUS "exit ${rc}: ${err}")
