# Installs the libraries, the public headers, a CMake package and a pkg-config
# file, so that a project elsewhere can say find_package(VarnelVST) and link
# VarnelVST::varnelvst, or ask pkg-config for varnelvst. The shared libraries
# themselves are the install component "runtime"; what building against them
# takes (headers, the libraries' link names, static archives, the CMake package,
# varnelvst.pc) is "development"; the tool installs itself as "tool".
#
# The framework stand-in is installed beside varnelvst as its own library with
# its headers under varnel/: the public headers use its classes, and a process
# must hold one framework (one ExtensionManager), so it cannot hide inside
# varnelvst. A static varnelvst also brings its private dependencies as
# link-only entries: the hosting helpers and the SDK subset they build on. A
# shared one holds them, hidden.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VARNELVST_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VarnelVST)

set(_installed_libraries varnelvst varnel_framework)
if(NOT VARNELVST_SHARED)
  list(APPEND _installed_libraries vst3hosting vst3sdk)
endif()
install(TARGETS ${_installed_libraries}
  EXPORT VarnelVSTTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# The library's headers under VarnelVST/, the framework's under varnel/, as the
# targets' install include directories expect.
file(GLOB _varnelvst_public_headers ${PROJECT_SOURCE_DIR}/include/*.h)
install(FILES ${_varnelvst_public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/VarnelVST
  COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/framework/include/varnel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT development)

install(EXPORT VarnelVSTTargets
  NAMESPACE VarnelVST::
  DESTINATION ${VARNELVST_INSTALL_CMAKEDIR}
  COMPONENT development)

configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/VarnelVSTConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/VarnelVSTConfig.cmake
  INSTALL_DESTINATION ${VARNELVST_INSTALL_CMAKEDIR})
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/VarnelVSTConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/VarnelVSTConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/VarnelVSTConfigVersion.cmake
  DESTINATION ${VARNELVST_INSTALL_CMAKEDIR}
  COMPONENT development)

# varnelvst.pc. A static library lists everything it links in Libs, since no
# shared library stands behind it. The prefix is the one installed to, which
# `cmake --install --prefix` may choose only then, so the file is written at
# install time.
if(VARNELVST_SHARED)
  set(_pc_libs "-lvarnelvst -lvarnel_framework")
else()
  list(TRANSFORM CMAKE_DL_LIBS PREPEND "-l" OUTPUT_VARIABLE _pc_dl)
  list(JOIN _pc_dl " " _pc_dl)
  set(_pc_libs "-lvarnelvst -lvst3hosting -lvst3sdk -lvarnel_framework ${_pc_dl} -pthread")
endif()
install(CODE "
  set(VARNELVST_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(VARNELVST_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(VARNELVST_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(VARNELVST_PC_VERSION \"${PROJECT_VERSION}\")
  set(VARNELVST_PC_LIBS \"${_pc_libs}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/varnelvst.pc.in\" \"${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/varnelvst.pc\" @ONLY)
  file(INSTALL \"${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/varnelvst.pc\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")
" COMPONENT development)
