# Checks that a file can be shipped as the embedded firmware image: exactly
# 2,097,152 bytes, with 8 printable ASCII characters (0x20 to 0x7E) at offsets
# 0x42 to 0x49, where the program reads the image's revision.
#
# Used by embedded_image.cmake at configure time, and in script mode:
#   cmake -DKOA_FIRMWARE_IMAGE=<file> -P cmake/check_firmware_image.cmake

set(KOA_IMAGE_SIZE 2097152)
set(KOA_IMAGE_REVISION_OFFSET 66)
set(KOA_IMAGE_REVISION_LENGTH 8)

# Sets <out_revision> to the image's revision; stops with FATAL_ERROR when the
# file cannot be shipped.
function(koa_check_firmware_image image out_revision)
  if(NOT EXISTS "${image}" OR IS_DIRECTORY "${image}")
    message(FATAL_ERROR "KOA_FIRMWARE_IMAGE: ${image} is not a file")
  endif()
  file(SIZE "${image}" size)
  if(NOT size EQUAL KOA_IMAGE_SIZE)
    message(FATAL_ERROR
      "KOA_FIRMWARE_IMAGE: ${image} is ${size} bytes; a firmware image is exactly "
      "${KOA_IMAGE_SIZE} bytes")
  endif()
  file(READ "${image}" hex OFFSET ${KOA_IMAGE_REVISION_OFFSET}
       LIMIT ${KOA_IMAGE_REVISION_LENGTH} HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR expected_length "${KOA_IMAGE_REVISION_LENGTH} * 2")
  if(NOT hex_length EQUAL expected_length)
    message(FATAL_ERROR "KOA_FIRMWARE_IMAGE: cannot read the revision bytes of ${image}")
  endif()
  set(revision "")
  foreach(position RANGE 0 14 2)
    string(SUBSTRING "${hex}" ${position} 2 byte_hex)
    math(EXPR byte "0x${byte_hex}")
    if(byte LESS 32 OR byte GREATER 126)
      math(EXPR offset "${KOA_IMAGE_REVISION_OFFSET} + ${position} / 2")
      message(FATAL_ERROR
        "KOA_FIRMWARE_IMAGE: ${image} has byte 0x${byte_hex} at offset ${offset}; the "
        "revision at offsets 0x42 to 0x49 must be 8 printable ASCII characters")
    endif()
    string(ASCII ${byte} character)
    string(APPEND revision "${character}")
  endforeach()
  set(${out_revision} "${revision}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT DEFINED KOA_FIRMWARE_IMAGE)
    message(FATAL_ERROR "usage: cmake -DKOA_FIRMWARE_IMAGE=<file> -P ${CMAKE_CURRENT_LIST_FILE}")
  endif()
  koa_check_firmware_image("${KOA_FIRMWARE_IMAGE}" revision)
  message(STATUS "firmware image revision: ${revision}")
endif()
