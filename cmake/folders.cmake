# The system's folders in one order, each a library of its own that links
# only the folders below it. Two checks hold every build to the order:
#
#   koa_<folder>_alone  the folder's whole archive linked with nothing but the
#                       libraries below it: a call that runs up the order is
#                       an undefined symbol and fails the build (a static
#                       library alone would carry it unnoticed until some
#                       program happened to link both);
#   Layering (ctest)    every #include "<folder>/..." of a tracked file goes
#                       down the same order (cmake/check_layering.cmake), so
#                       that a header-only use up the order fails as well.

set_property(GLOBAL PROPERTY KOA_LAYERS "")

# The link checks' program does nothing; what matters is that it links.
set(KOA_LINK_ALONE_MAIN ${CMAKE_BINARY_DIR}/link_alone_main.cpp)
file(CONFIGURE OUTPUT ${KOA_LINK_ALONE_MAIN} CONTENT "int main() { return 0; }\n")

# koa_layer(NAME [BELOW folder...]): declares where folder NAME stands.
function(koa_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "BELOW")
  list(JOIN arg_BELOW "," below)
  set_property(GLOBAL APPEND PROPERTY KOA_LAYERS "${name}:${below}")
endfunction()

# koa_link_alone(TARGET): the link check of a folder's library.
function(koa_link_alone library)
  add_executable(${library}_alone ${KOA_LINK_ALONE_MAIN})
  target_link_libraries(${library}_alone PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${library}>")
endfunction()

# koa_folder(NAME [BELOW folder...] [EXCLUDE regex]): the library koa_NAME of
# NAME/*.cpp (less what EXCLUDE matches), linked with koa_<folder> for each
# folder below it, and its link check.
function(koa_folder name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXCLUDE" "BELOW")
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${name}/*.cpp)
  if(arg_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${arg_EXCLUDE}")
  endif()
  add_library(koa_${name} STATIC ${sources})
  target_include_directories(koa_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  foreach(lower IN LISTS arg_BELOW)
    target_link_libraries(koa_${name} PUBLIC koa_${lower})
  endforeach()
  koa_warnings(koa_${name})
  koa_link_alone(koa_${name})
  koa_layer(${name} BELOW ${arg_BELOW})
endfunction()

# The Layering test: the include check over the folders declared so far.
# Files matching an ENTRY_POINTS regex may also include the folder named
# after it ("regex=folder").
function(koa_layering_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "" "ENTRY_POINTS")
  get_property(layers GLOBAL PROPERTY KOA_LAYERS)
  string(REPLACE ";" "|" layers "${layers}")
  string(REPLACE ";" "|" entry_points "${arg_ENTRY_POINTS}")
  add_test(NAME Layering
           COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} "-DLAYERS=${layers}"
                   "-DENTRY_POINTS=${entry_points}" -P ${CMAKE_SOURCE_DIR}/cmake/check_layering.cmake)
endfunction()
