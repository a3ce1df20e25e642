# The version is written once, in project() of the top CMakeLists.txt. This
# makes it a header in the build tree (common/version.h) that the C++ sources
# and both resource scripts include; scripts/package reads the same line.
if(NOT PROJECT_VERSION_PATCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "project() must give the version as major.minor.patch")
endif()
set(VARNHOLD_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/common/version.h.in
               ${VARNHOLD_GENERATED_DIR}/common/version.h @ONLY)
# Applies to windres too, which takes the same include directories.
include_directories(${VARNHOLD_GENERATED_DIR})
