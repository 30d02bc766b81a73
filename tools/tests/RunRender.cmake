# Runs vornix-render in a fresh directory and checks its exit code; a failing
# run must say why on stderr. (The files of successful renders are checked by
# the Render tests of tools_test.)
#   cmake -DRENDER=... -DEXPECT=n -DARGS=a;b -DWORKDIR=... -P RunRender.cmake
file(REMOVE_RECURSE ${WORKDIR})
file(MAKE_DIRECTORY ${WORKDIR})
execute_process(COMMAND ${RENDER} ${ARGS} --quiet
  WORKING_DIRECTORY ${WORKDIR}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "stdout: ${out}")
message(STATUS "stderr: ${err}")
if(NOT "${rc}" STREQUAL "${EXPECT}")
  message(FATAL_ERROR "vornix-render exited with ${rc}, expected ${EXPECT}")
endif()
if(NOT EXPECT EQUAL 0 AND err STREQUAL "")
  message(FATAL_ERROR "a failing run must say why on stderr")
endif()
if(DEFINED SUMMARY AND NOT out MATCHES "${SUMMARY}")
  message(FATAL_ERROR "the summary line does not match ${SUMMARY}")
endif()
