# Runs vornix-render in a fresh directory and checks its exit code; for a
# successful render also that the summary matches SUMMARY and that the WAV
# file has the expected length, rate and sample format (read back with
# libsndfile by the RenderedFile test of tools_test) and the MIDI file exists.
#   cmake -DRENDER=... -DEXPECT=n -DARGS=a;b -DWORKDIR=... [-DCHECKER=tools_test
#         -DFRAMES=n -DRATE=n -DBITS=n -DTEMPO_US=n [-DMIDI_CHECK=events;last;ticksum;notesum]
#         -DSUMMARY=regex] -P RunRender.cmake
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
if(NOT EXPECT EQUAL 0)
  if(err STREQUAL "")
    message(FATAL_ERROR "a failing run must say why on stderr")
  endif()
  return()
endif()
if(DEFINED SUMMARY AND NOT out MATCHES "${SUMMARY}")
  message(FATAL_ERROR "summary does not match \"${SUMMARY}\"")
endif()
if(NOT EXISTS ${WORKDIR}/vornix.mid)
  message(FATAL_ERROR "no vornix.mid written")
endif()
if(DEFINED CHECKER)
  set(midi_env)
  if(DEFINED MIDI_CHECK)
    list(GET MIDI_CHECK 0 events)
    list(GET MIDI_CHECK 1 last)
    list(GET MIDI_CHECK 2 ticksum)
    list(GET MIDI_CHECK 3 notesum)
    set(midi_env VORNIX_CHECK_MID_EVENTS=${events} VORNIX_CHECK_MID_LAST=${last}
                 VORNIX_CHECK_MID_TICK_SUM=${ticksum} VORNIX_CHECK_MID_NOTE_SUM=${notesum})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env
      VORNIX_CHECK_WAV=${WORKDIR}/vornix.wav VORNIX_CHECK_FRAMES=${FRAMES}
      VORNIX_CHECK_RATE=${RATE} VORNIX_CHECK_BITS=${BITS}
      VORNIX_CHECK_MID=${WORKDIR}/vornix.mid VORNIX_CHECK_TEMPO_US=${TEMPO_US} ${midi_env}
      ${CHECKER} --gtest_filter=RenderedFile.*
    RESULT_VARIABLE check_rc OUTPUT_VARIABLE check_out ERROR_VARIABLE check_out)
  if(NOT check_rc EQUAL 0 OR check_out MATCHES "SKIPPED")
    message(FATAL_ERROR "WAV check failed:\n${check_out}")
  endif()
endif()
