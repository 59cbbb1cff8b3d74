# The include check of the folder order (cmake/folders.cmake), run as the
# Layering test:
#
#   cmake -DSOURCE_DIR=<checkout> -DLAYERS=<name:below,...|...>
#         [-DENTRY_POINTS=<regex=folder|...>] -P cmake/check_layering.cmake
#
# Reads every #include "<folder>/..." of the C++ files git tracks or would
# track (every file below SOURCE_DIR outside a git checkout) in the declared
# folders and fails on each one that does not go down the order: to the
# file's own folder or to a folder below it, directly or through another. tests/ and bench/ may
# include anything and may be included by nothing declared. A top-level
# folder with C++ sources that has no place in the order fails too, so that
# every circle is an include against the order.

cmake_minimum_required(VERSION 3.25)

string(REPLACE "|" ";" layers "${LAYERS}")
string(REPLACE "|" ";" entry_points "${ENTRY_POINTS}")

set(folders "")
foreach(layer IN LISTS layers)
  string(REPLACE ":" ";" parts "${layer}")
  list(GET parts 0 name)
  set(below "")
  list(LENGTH parts count)
  if(count GREATER 1)
    list(GET parts 1 below)
    string(REPLACE "," ";" below "${below}")
  endif()
  list(APPEND folders ${name})
  set(direct_${name} ${below})
endforeach()

# What each folder may include: the folders below it, followed down.
foreach(name IN LISTS folders)
  set(reach ${direct_${name}})
  set(index 0)
  list(LENGTH reach length)
  while(index LESS length)
    list(GET reach ${index} lower)
    foreach(next IN LISTS direct_${lower})
      if(NOT next IN_LIST reach)
        list(APPEND reach ${next})
      endif()
    endforeach()
    math(EXPR index "${index} + 1")
    list(LENGTH reach length)
  endwhile()
  set(allowed_${name} ${name} ${reach})
endforeach()

execute_process(COMMAND git -C ${SOURCE_DIR} ls-files --cached --others --exclude-standard
                OUTPUT_VARIABLE tracked RESULT_VARIABLE git_result ERROR_QUIET)
if(git_result EQUAL 0)
  string(REPLACE "\n" ";" files "${tracked}")
else()
  file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
  list(FILTER files EXCLUDE REGEX "^build/")
endif()
list(FILTER files INCLUDE REGEX "^[^/]+/.*\\.(cpp|cc|h|hpp)$")

set(checked_folders tests bench ${folders})
set(failures "")
set(edges 0)
foreach(file IN LISTS files)
  string(REGEX MATCH "^[^/]+" top "${file}")
  if(top STREQUAL "tests" OR top STREQUAL "bench")
    continue()
  endif()
  if(NOT top IN_LIST folders)
    list(APPEND failures "${top}/ holds C++ sources but has no place in the folder order (${file})")
    continue()
  endif()
  set(allowed ${allowed_${top}})
  foreach(entry IN LISTS entry_points)
    string(REGEX REPLACE "=[^=]*$" "" pattern "${entry}")
    string(REGEX REPLACE "^.*=" "" extra "${entry}")
    if(file MATCHES "${pattern}")
      list(APPEND allowed ${extra})
    endif()
  endforeach()
  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\".*$" "\\1" included "${line}")
    string(REGEX MATCH "^[^/]+" target "${included}")
    if(NOT included MATCHES "/" OR NOT target IN_LIST checked_folders)
      continue()
    endif()
    if(NOT target STREQUAL top)
      math(EXPR edges "${edges} + 1")
    endif()
    if(NOT target IN_LIST allowed)
      list(REMOVE_ITEM allowed ${top})
      list(JOIN allowed "/, " below)
      if(below)
        set(below "only ${below}/")
      else()
        set(below "no other folder")
      endif()
      list(APPEND failures "${file} includes ${included}: ${top}/ may use ${below}")
    endif()
  endforeach()
endforeach()

list(LENGTH folders folder_count)
if(failures)
  list(LENGTH failures failure_count)
  string(REPLACE ";" "\n  " text "${failures}")
  message(FATAL_ERROR "${failure_count} break(s) of the folder order:\n  ${text}")
endif()
message(STATUS "${edges} include(s) between ${folder_count} folders, all down the order")
