# nlohmann/json comes from Debian (nlohmann-json3-dev, header-only). The mingw
# cross compilers must not search /usr/include, where the host's C library
# headers are, so only the nlohmann folder is made visible: a folder in the
# build tree holds a link to it and is added as a system include directory
# (our warnings stay on, the library's own are not ours to fix).
set(VARNHOLD_NLOHMANN_SOURCE /usr/include/nlohmann)
if(NOT EXISTS ${VARNHOLD_NLOHMANN_SOURCE}/json.hpp)
  message(FATAL_ERROR "nlohmann/json is missing (${VARNHOLD_NLOHMANN_SOURCE}): run scripts/setup")
endif()
set(VARNHOLD_NLOHMANN_DIR ${CMAKE_BINARY_DIR}/third_party_include)
file(MAKE_DIRECTORY ${VARNHOLD_NLOHMANN_DIR})
file(CREATE_LINK ${VARNHOLD_NLOHMANN_SOURCE} ${VARNHOLD_NLOHMANN_DIR}/nlohmann SYMBOLIC)
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${VARNHOLD_NLOHMANN_DIR})
