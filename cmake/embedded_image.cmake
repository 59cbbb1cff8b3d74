# The firmware image inside the program.
#
# KOA_FIRMWARE_IMAGE empty: the build generates a deterministic placeholder
# (make_placeholder_image.pl) whose revision is "GXB4LTMW". Otherwise the
# named file is checked at configure time (size and revision bytes) and
# embedded as it is. The bytes reach the program through the assembler's
# .incbin, so a new image costs one assembly and one link, not a compile of a
# 2 MiB source array. koa_transfer gets the symbols koa_embedded_image and
# koa_embedded_image_end (see transfer/firmware_image.cpp).

include(${CMAKE_CURRENT_LIST_DIR}/check_firmware_image.cmake)
enable_language(ASM)

if(KOA_FIRMWARE_IMAGE)
  get_filename_component(KOA_EMBEDDED_IMAGE_FILE "${KOA_FIRMWARE_IMAGE}" ABSOLUTE)
  koa_check_firmware_image("${KOA_EMBEDDED_IMAGE_FILE}" KOA_EMBEDDED_IMAGE_REVISION)
  # Check a replaced file again at the next build.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${KOA_EMBEDDED_IMAGE_FILE}")
  message(STATUS "Embedding firmware image ${KOA_EMBEDDED_IMAGE_FILE} "
                 "(revision ${KOA_EMBEDDED_IMAGE_REVISION})")
else()
  find_program(KOA_PERL perl REQUIRED)
  set(KOA_EMBEDDED_IMAGE_FILE ${CMAKE_BINARY_DIR}/firmware/placeholder_image.bin)
  set(KOA_EMBEDDED_IMAGE_REVISION GXB4LTMW)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/firmware)
  add_custom_command(
    OUTPUT ${KOA_EMBEDDED_IMAGE_FILE}
    COMMAND ${KOA_PERL} ${CMAKE_CURRENT_LIST_DIR}/make_placeholder_image.pl
            ${KOA_EMBEDDED_IMAGE_FILE}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make_placeholder_image.pl
    COMMENT "Generating the placeholder firmware image"
    VERBATIM)
  add_custom_target(koa_placeholder_image DEPENDS ${KOA_EMBEDDED_IMAGE_FILE})
  add_dependencies(koa_transfer koa_placeholder_image)
endif()

set(KOA_EMBEDDED_IMAGE_SOURCE ${CMAKE_BINARY_DIR}/firmware/embedded_image.S)
configure_file(${CMAKE_CURRENT_LIST_DIR}/embedded_image.S.in ${KOA_EMBEDDED_IMAGE_SOURCE} @ONLY)
set_source_files_properties(${KOA_EMBEDDED_IMAGE_SOURCE} PROPERTIES
  LANGUAGE ASM
  OBJECT_DEPENDS ${KOA_EMBEDDED_IMAGE_FILE})
target_sources(koa_transfer PRIVATE ${KOA_EMBEDDED_IMAGE_SOURCE})
