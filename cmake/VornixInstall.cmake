# Where `cmake --install` puts the plug-in.
#
# Linux hosts look for VST 2 plug-ins in ~/.vst (per user) and in <prefix>/lib/vst
# (system-wide, e.g. /usr/local/lib/vst or /usr/lib/vst). Without an explicit
# install prefix the module goes straight into $HOME/.vst; with one, given at
# configure time (-DCMAKE_INSTALL_PREFIX=...) or at install time
# (cmake --install build --prefix /usr/local), it goes into <prefix>/lib/vst.
#
# To tell the two apart at install time the default prefix is made $HOME/.vst
# itself: when the prefix is still that directory the module lands in it,
# otherwise in its lib/vst.
set(VORNIX_USER_VST_DIR "$ENV{HOME}/.vst")
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "${VORNIX_USER_VST_DIR}" CACHE PATH "Install prefix" FORCE)
  set(VORNIX_PREFIX_GIVEN OFF CACHE INTERNAL "")
elseif(NOT DEFINED VORNIX_PREFIX_GIVEN)
  # Given on the first configure (or a build folder older than this rule).
  if(CMAKE_INSTALL_PREFIX STREQUAL VORNIX_USER_VST_DIR)
    set(VORNIX_PREFIX_GIVEN OFF CACHE INTERNAL "")
  else()
    set(VORNIX_PREFIX_GIVEN ON CACHE INTERNAL "")
  endif()
endif()

install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"${VORNIX_USER_VST_DIR}\")
    set(VORNIX_VST_SUBDIR .)
  else()
    set(VORNIX_VST_SUBDIR lib/vst)
  endif()
")
install(TARGETS vornix LIBRARY DESTINATION "\${VORNIX_VST_SUBDIR}")

# A test of the two cases above (ctest -R install), staged in the build folder.
if(VORNIX_TESTS)
  if(VORNIX_PREFIX_GIVEN)
    set(vornix_default_install_dir "${CMAKE_INSTALL_PREFIX}/lib/vst")
  else()
    set(vornix_default_install_dir "$ENV{HOME}/.vst")
  endif()
  add_test(NAME install.user_and_system_folders
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DMODULE=$<TARGET_FILE:vornix>
                   -DWORK=${CMAKE_BINARY_DIR}/install-check -DDEFAULT_DIR=${vornix_default_install_dir}
                   -P ${CMAKE_CURRENT_LIST_DIR}/CheckInstall.cmake)
endif()
