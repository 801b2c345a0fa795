# 64-bit Windows builds. With MinGW-w64 every program and plug-in library is
# linked statically against the compiler's runtime, so nothing needs the
# toolchain's DLLs beside it. On a Linux build machine the tests run under
# Wine, in a private prefix inside the build tree: its "C:\" is
# ${VARNELVST_WINE_PREFIX}/drive_c.
if(MINGW)
  add_link_options(-static)
endif()

# The system-wide VST 3 folder as programs see it, and as the build machine
# sees it (the same folder unless the programs run under Wine).
set(VARNELVST_SYSTEM_VST3_DIR "C:/Program Files/Common Files/VST3")
set(VARNELVST_SYSTEM_VST3_BUILD_DIR "${VARNELVST_SYSTEM_VST3_DIR}")

if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
  find_program(VARNELVST_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(VARNELVST_WINE NAMES wine64 wine REQUIRED)
  set(VARNELVST_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  set(VARNELVST_SYSTEM_VST3_BUILD_DIR "${VARNELVST_WINE_PREFIX}/drive_c/Program Files/Common Files/VST3")

  # Quiet, and headless unless VARNELVST_WINE_DISPLAY names an X display; no .NET
  # or browser engine is installed into the prefix.
  set(_runner "${CMAKE_BINARY_DIR}/wine-run")
  file(CONFIGURE OUTPUT "${_runner}" @ONLY CONTENT [[#!/bin/sh
# Runs a Windows program of this build under Wine, in the build's own prefix.
export WINEPREFIX="@VARNELVST_WINE_PREFIX@"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Windows only where the test run gives Wine a display of its own (an Xvfb).
unset WAYLAND_DISPLAY
if [ -n "$VARNELVST_WINE_DISPLAY" ]; then export DISPLAY="$VARNELVST_WINE_DISPLAY"; else unset DISPLAY; fi
exec "@VARNELVST_WINE@" "$@"
]])
  file(CHMOD "${_runner}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
       WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${_runner}")

  # Creating a prefix takes several seconds; it is done once per build tree, at
  # build time, so that no test (or test listing) waits for it.
  add_custom_command(
    OUTPUT "${VARNELVST_WINE_PREFIX}/system.reg"
    COMMAND "${_runner}" wineboot.exe --init
    COMMENT "Creating the Wine prefix for the tests"
    VERBATIM)
  add_custom_target(varnelvst_wine_prefix ALL DEPENDS "${VARNELVST_WINE_PREFIX}/system.reg")
endif()

# GCC 12 for MinGW warns about overlapping copies inside std::string's own
# operator+ (a known false positive of its -Wrestrict), on code that is fine.
if(MINGW AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(varnelvst_warnings INTERFACE -Wno-restrict)
endif()
