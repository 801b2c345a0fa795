# The API reference: `cmake --build <build> --target docs` writes HTML into
# <build>/docs/html from the public headers (every header in include/, whoever
# adds it), with the README as the main page and the example host among the
# examples. Any warning fails the target: a public member without documentation,
# a reference to nothing, a broken link in the README.
find_package(Doxygen 1.9 QUIET)
if(NOT DOXYGEN_FOUND)
  message(STATUS "doxygen not found: no docs target (scripts/setup.sh installs it)")
  return()
endif()

set(DOXYGEN_PROJECT_NAME VarnelVST)
set(DOXYGEN_PROJECT_BRIEF "VST 3 effect plug-ins as processor nodes of a Varnel audio graph")
set(DOXYGEN_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/docs)
set(DOXYGEN_FILE_PATTERNS *.h)
set(DOXYGEN_RECURSIVE NO)
set(DOXYGEN_USE_MDFILE_AS_MAINPAGE ${PROJECT_SOURCE_DIR}/README.md)
set(DOXYGEN_EXAMPLE_PATH ${PROJECT_SOURCE_DIR})
set(DOXYGEN_FILTER_PATTERNS "*.md=sed -f docs/link-examples.sed")
set(DOXYGEN_EXTRACT_ALL NO)
set(DOXYGEN_WARN_IF_UNDOCUMENTED YES)
set(DOXYGEN_WARN_NO_PARAMDOC NO)
set(DOXYGEN_WARN_AS_ERROR FAIL_ON_WARNINGS)
set(DOXYGEN_QUIET YES)
set(DOXYGEN_GENERATE_TREEVIEW YES)
set(DOXYGEN_DISTRIBUTE_GROUP_DOC YES)
set(DOXYGEN_SHOW_FILES NO)

doxygen_add_docs(docs
  ${PROJECT_SOURCE_DIR}/include
  ${PROJECT_SOURCE_DIR}/README.md
  ${PROJECT_SOURCE_DIR}/docs/examples.dox
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  COMMENT "API reference into ${CMAKE_BINARY_DIR}/docs/html")
