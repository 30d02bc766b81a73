# The 32-bit x86 build on a 64-bit Debian machine (included when VORNIX_I386 is ON,
# after the -m32 flags are set).
#
# The compiler was probed without -m32, so CMake believes it targets x86_64 and
# would hand 64-bit libraries to a 32-bit link. Point the find_* commands at the
# i386 multiarch tree (/usr/lib/i386-linux-gnu, where packages such as
# libtinyxml2-dev:i386 install) and at the multilib tree of g++-multilib
# (/usr/lib32) instead.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_SIZEOF_VOID_P 4)  # also what the packages' config-version files compare against
set_property(GLOBAL PROPERTY FIND_LIBRARY_USE_LIB64_PATHS FALSE)
set_property(GLOBAL PROPERTY FIND_LIBRARY_USE_LIB32_PATHS TRUE)

# Debian ships GoogleTest for i386 only as sources (package googletest in
# /usr/src/googletest), so build it here with our -m32 flags. Its own CMake
# files define the same GTest::gtest and GTest::gtest_main (and GTest::gmock)
# targets that find_package(GTest) gives a native build.
if(VORNIX_TESTS AND NOT TARGET GTest::gtest)
  set(VORNIX_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the i386 build")
  if(NOT EXISTS ${VORNIX_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "The i386 tests need the GoogleTest sources in ${VORNIX_GTEST_SOURCE_DIR} "
                        "(apt-get install googletest), or -DVORNIX_TESTS=OFF.")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${VORNIX_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
