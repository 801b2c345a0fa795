# Debian packages of a shared build (scripts/package.sh makes them with cpack):
#   varnelvst       the install component "library": the shared libraries (with
#                   the framework stand-in's), the public headers, the CMake
#                   package and varnelvst.pc
#   varnelvst-tool  the component "tool": varnel-vst and its man page; depends on
#                   varnelvst of the same version
# Everything else each needs comes from dpkg-shlibdeps. A static build has no
# packages: a package of static archives would hand every application its own
# copy of the library, which the shared one is there to avoid.
if(NOT VARNELVST_SHARED OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnelvst)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "VarnelVST developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL library tool)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tool's libvarnelvst comes from the other package, so dpkg-shlibdeps is
# shown the build's own libraries rather than the system's.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/src ${CMAKE_BINARY_DIR}/framework)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME varnelvst)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_LIBRARY_DESCRIPTION
  "VST 3 effect plug-ins as processor nodes of a Varnel audio graph
The VarnelVST library, shared, with the Varnel framework stand-in it builds on,
the public C++17 headers, a CMake package (find_package(VarnelVST)) and a
pkg-config file (varnelvst).")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME varnelvst-tool)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION sound)
set(CPACK_COMPONENT_TOOL_DEPENDS library)
set(CPACK_COMPONENT_TOOL_DESCRIPTION
  "varnel-vst: VST 3 effects from the command line
Lists the installed VST 3 plug-ins and their parameters, and runs sound files
through a plug-in or a chain of them, through the VarnelVST library.")

include(CPack)
