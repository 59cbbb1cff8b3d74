# Finds the host's nlohmann/json.hpp (outside the cross build's root path)
# and reads its version.
find_path(KOA_HOST_NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp
          PATHS /usr/include /usr/local/include
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT KOA_HOST_NLOHMANN_JSON_INCLUDE_DIR)
  message(FATAL_ERROR "nlohmann/json.hpp not found on the host (Debian: nlohmann-json3-dev)")
endif()

set(_koa_json_version_file ${KOA_HOST_NLOHMANN_JSON_INCLUDE_DIR}/nlohmann/detail/abi_macros.hpp)
if(NOT EXISTS ${_koa_json_version_file})
  set(_koa_json_version_file ${KOA_HOST_NLOHMANN_JSON_INCLUDE_DIR}/nlohmann/json.hpp)
endif()
file(STRINGS ${_koa_json_version_file} _koa_json_version_lines
     REGEX "^#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) [0-9]+")
foreach(_part MAJOR MINOR PATCH)
  string(REGEX REPLACE ".*NLOHMANN_JSON_VERSION_${_part} ([0-9]+).*" "\\1"
         KOA_HOST_NLOHMANN_JSON_VERSION_${_part} "${_koa_json_version_lines}")
endforeach()
set(KOA_HOST_NLOHMANN_JSON_VERSION
    ${KOA_HOST_NLOHMANN_JSON_VERSION_MAJOR}.${KOA_HOST_NLOHMANN_JSON_VERSION_MINOR}.${KOA_HOST_NLOHMANN_JSON_VERSION_PATCH})
