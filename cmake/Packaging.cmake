# Debian packages of a shared build (scripts/package.sh makes them with cpack),
# split the usual Debian way, so that a program built on the library needs only
# the shared libraries on the machines it runs on:
#   libvarnelvst<major>.<minor>  the install component "runtime": the shared
#                                libraries (with the framework stand-in's), named
#                                after their SONAME version
#   libvarnelvst-dev             the component "development": the public
#                                headers, the libraries' link names, the CMake
#                                package and varnelvst.pc; depends on the runtime
#                                package of the same version
#   varnelvst-tool               the component "tool": varnel-vst and its man page
# Each carries packaging/copyright as /usr/share/doc/<package>/copyright. What
# else each needs comes from dpkg-shlibdeps. A static build has no packages: a
# package of static archives would hand every application its own copy of the
# library, which the shared one is there to avoid.
if(NOT VARNELVST_SHARED OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(_runtime_package libvarnelvst${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
set(_package_of_runtime ${_runtime_package})
set(_package_of_development libvarnelvst-dev)
set(_package_of_tool varnelvst-tool)
foreach(component runtime development tool)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/../${_package_of_${component}}
    COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnelvst)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "VarnelVST developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development tool)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tool's libvarnelvst comes from another package, so dpkg-shlibdeps is
# shown the build's own libraries rather than the system's.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/src ${CMAKE_BINARY_DIR}/framework)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${_runtime_package})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "VST 3 effect plug-ins as processor nodes of a Varnel audio graph
The VarnelVST shared library, with the Varnel framework stand-in it builds on.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvarnelvst-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
  "VST 3 effect plug-ins as processor nodes of a Varnel audio graph (development files)
The public C++17 headers of VarnelVST and of the Varnel framework stand-in, a
CMake package (find_package(VarnelVST)) and a pkg-config file (varnelvst).")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME varnelvst-tool)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION sound)
set(CPACK_COMPONENT_TOOL_DEPENDS runtime)
set(CPACK_COMPONENT_TOOL_DESCRIPTION
  "varnel-vst: VST 3 effects from the command line
Lists the installed VST 3 plug-ins and their parameters, and runs sound files
through a plug-in or a chain of them, through the VarnelVST library.")

include(CPack)
