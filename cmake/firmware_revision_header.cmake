# Writes the embedded image's revision (bytes 0x42 to 0x49) as a string
# literal for the resource compiler, so that the version record names the
# firmware the program carries. Run at build time, after the image exists:
#   cmake -DKOA_FIRMWARE_IMAGE=<image> -DOUTPUT=<header> -P firmware_revision_header.cmake
# The header is rewritten only when its text changes, so that an unchanged
# image costs no resource compile.

include(${CMAKE_CURRENT_LIST_DIR}/check_firmware_image.cmake)

koa_check_firmware_image("${KOA_FIRMWARE_IMAGE}" revision)
# Printable ASCII may hold the two characters that the resource compiler's
# string literals escape.
string(REPLACE "\\" "\\\\" revision "${revision}")
string(REPLACE "\"" "\"\"" revision "${revision}")
set(text "#define KOA_FIRMWARE_REVISION \"${revision}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old_text)
  if(old_text STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
