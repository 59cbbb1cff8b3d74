# nlohmann-json for the mingw-w64 cross build: the host's header-only
# package. Only its nlohmann/ directory is put on the include path, through a
# link in the build tree: the host's /usr/include as a whole would put the
# host C library's headers in front of mingw-w64's.
if(TARGET nlohmann_json::nlohmann_json)
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/host_header.cmake)
set(_koa_json_include ${CMAKE_BINARY_DIR}/host-headers/nlohmann_json)
file(MAKE_DIRECTORY ${_koa_json_include})
file(CREATE_LINK ${KOA_HOST_NLOHMANN_JSON_INCLUDE_DIR}/nlohmann ${_koa_json_include}/nlohmann SYMBOLIC)

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${_koa_json_include})
set(nlohmann_json_FOUND TRUE)
