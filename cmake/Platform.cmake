# What differs between the systems the project builds for.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/Windows.cmake)
endif()

# varnelvst_runtime_path(<variable> <path>): a path of the build machine as a
# program of this build sees it ("Z:" is Wine's drive for the host's "/").
function(varnelvst_runtime_path variable path)
  if(VARNELVST_WINE_PREFIX)
    set(${variable} "Z:${path}" PARENT_SCOPE)
  else()
    set(${variable} "${path}" PARENT_SCOPE)
  endif()
endfunction()
