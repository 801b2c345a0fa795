# Installs the static libraries, the public headers and a CMake package, so that
# a project elsewhere can say find_package(VarnelVST) and link VarnelVST::varnelvst.
#
# varnelvst is static, so its private dependencies travel with it as link-only
# entries: the hosting helpers, the SDK subset they build on, and the framework
# stand-in, which the public headers use.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VARNELVST_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VarnelVST)

install(TARGETS varnelvst varnel_framework vst3hosting vst3sdk
  EXPORT VarnelVSTTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# The library's headers under VarnelVST/, the framework's under varnel/, as the
# targets' install include directories expect.
file(GLOB _varnelvst_public_headers ${PROJECT_SOURCE_DIR}/include/*.h)
install(FILES ${_varnelvst_public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/VarnelVST)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/framework/include/varnel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT VarnelVSTTargets
  NAMESPACE VarnelVST::
  DESTINATION ${VARNELVST_INSTALL_CMAKEDIR})

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
  DESTINATION ${VARNELVST_INSTALL_CMAKEDIR})
