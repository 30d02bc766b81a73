# ctest helper (cmake -P): install the built plug-in twice into a scratch folder and check that
# it lands where Linux hosts look for it.
#   -DBUILD_DIR=<build folder> -DMODULE=<built vornix.so> -DWORK=<scratch folder>
#   -DDEFAULT_DIR=<where a plain `cmake --install` must put it>
#
# 1. An explicit prefix: cmake --install BUILD --prefix WORK/prefix -> WORK/prefix/lib/vst/vornix.so
# 2. No prefix (the one chosen at configure time), staged with DESTDIR=WORK/stage so the real
#    ~/.vst is left alone -> WORK/stage/DEFAULT_DIR/vornix.so
file(REMOVE_RECURSE "${WORK}")

function(expect_installed path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "expected the plug-in at ${path}; found: ${found}")
  endif()
  file(SHA256 "${path}" got)
  file(SHA256 "${MODULE}" want)
  if(NOT got STREQUAL want)
    message(FATAL_ERROR "${path} differs from the built module ${MODULE}")
  endif()
  message(STATUS "ok: ${path}")
endfunction()

execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK}/prefix"
                RESULT_VARIABLE rc OUTPUT_QUIET)
file(GLOB_RECURSE found "${WORK}/*")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install --prefix failed (${rc})")
endif()
expect_installed("${WORK}/prefix/lib/vst/vornix.so")

execute_process(COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${WORK}/stage"
                        "${CMAKE_COMMAND}" --install "${BUILD_DIR}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
file(GLOB_RECURSE found "${WORK}/stage/*")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc})")
endif()
expect_installed("${WORK}/stage${DEFAULT_DIR}/vornix.so")
list(LENGTH found n)
if(NOT n EQUAL 1)
  message(FATAL_ERROR "a plain install should write only vornix.so, wrote: ${found}")
endif()
