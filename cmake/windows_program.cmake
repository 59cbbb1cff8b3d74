# The Windows programs, built with the mingw-w64 cross toolchain
# (cmake/mingw-w64-x86_64.cmake, the `windows` preset):
#
#   koa-update.exe      the program as shipped: the real Win32 platform, GUI
#                       subsystem (no console, no window), wide entry point,
#                       statically linked, with its manifest and version record;
#   koa-inventory.exe   the read-only inventory as shipped: console subsystem,
#                       otherwise as koa-update.exe;
#   koa-update-sim.exe  koa-update on the simulated machine, a console
#                       program for the tests under Wine;
#   koa-win32-platform-check.exe  checks of the Win32 platform, under Wine.
#
# Both are linked without a timestamp and built without build paths in them,
# so that the same sources and image give the same bytes.

enable_language(RC)

set(KOA_WINDOWS_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
string(REPLACE "." "," KOA_WINDOWS_VERSION_COMMAS ${KOA_WINDOWS_VERSION})

foreach(library koa_platform koa_wire koa_update koa_report koa_discovery koa_transfer koa_app koa_inventory
                koa_sim)
  if(TARGET ${library})
    target_compile_options(${library} PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                                              -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
  endif()
endforeach()

# The one place where <windows.h> is included.
add_library(koa_win32 STATIC platform/win32_platform.cpp platform/win32_constants_check.cpp)
target_include_directories(koa_win32 PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(koa_win32 PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)
target_link_libraries(koa_win32 PUBLIC koa_platform setupapi user32 advapi32)
koa_warnings(koa_win32)

function(koa_windows_program target)
  target_compile_options(${target} PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)
  # -municode: the runtime starts the program at its wide entry point and
  # fills the wide argument vector. Static: the program needs no mingw-w64
  # runtime DLL on the machine it runs on. -s: no symbol table in what ships.
  target_link_options(${target} PRIVATE -municode -static -static-libgcc -static-libstdc++
                      -Wl,--no-insert-timestamp -s)
  koa_warnings(${target})
endfunction()

# Resources of the shipped programs, generated in one directory: each
# program's manifest and version record (app/resources/program.*.in) and the
# embedded image's revision, read from the image at build time.
set(KOA_WINDOWS_RESOURCES ${CMAKE_BINARY_DIR}/resources)
set(KOA_FIRMWARE_REVISION_HEADER ${KOA_WINDOWS_RESOURCES}/firmware_revision.h)
add_custom_command(
  OUTPUT ${KOA_FIRMWARE_REVISION_HEADER}
  COMMAND ${CMAKE_COMMAND} -DKOA_FIRMWARE_IMAGE=${KOA_EMBEDDED_IMAGE_FILE}
          -DOUTPUT=${KOA_FIRMWARE_REVISION_HEADER}
          -P ${CMAKE_SOURCE_DIR}/cmake/firmware_revision_header.cmake
  DEPENDS ${KOA_EMBEDDED_IMAGE_FILE} ${CMAKE_SOURCE_DIR}/cmake/firmware_revision_header.cmake
          ${CMAKE_SOURCE_DIR}/cmake/check_firmware_image.cmake
  COMMENT "Reading the embedded image's revision for the version record"
  VERBATIM)

# koa_shipped_program_resources(TARGET DESCRIPTION): gives a shipped program
# its manifest and its version record, named after the target.
function(koa_shipped_program_resources target description)
  set(KOA_PROGRAM ${target})
  set(KOA_PROGRAM_DESCRIPTION ${description})
  set(KOA_PROGRAM_MANIFEST ${KOA_WINDOWS_RESOURCES}/${target}.manifest)
  set(rc ${KOA_WINDOWS_RESOURCES}/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/app/resources/program.manifest.in ${KOA_PROGRAM_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/app/resources/program.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES
    OBJECT_DEPENDS "${KOA_PROGRAM_MANIFEST};${KOA_FIRMWARE_REVISION_HEADER}")
  target_sources(${target} PRIVATE ${rc} ${KOA_FIRMWARE_REVISION_HEADER})
endfunction()

# The Win32 platform checked against a real SetupAPI and kernel, under Wine.
add_executable(koa-win32-platform-check tests/windows/win32_platform_check.cpp)
target_link_libraries(koa-win32-platform-check PRIVATE koa_win32)
koa_windows_program(koa-win32-platform-check)

# The version record of a program as Windows reads it, under Wine.
add_executable(koa-version-info-check tests/windows/version_info_check.cpp)
target_link_libraries(koa-version-info-check PRIVATE version)
koa_windows_program(koa-version-info-check)

# What the hardening check must refuse: no ASLR, no high-entropy VA, no NX.
add_executable(koa-hardening-planted tests/windows/hardening_planted.cpp)
target_link_libraries(koa-hardening-planted PRIVATE version)
koa_windows_program(koa-hardening-planted)
target_link_options(koa-hardening-planted PRIVATE
  -Wl,--disable-dynamicbase,--disable-high-entropy-va,--disable-nxcompat)

# The entry routine and the simulated machine arrive in the tree separately;
# each program is built once what it needs is there.
if(NOT EXISTS ${CMAKE_SOURCE_DIR}/app/run_program.cpp)
  return()
endif()

# WIN32: the GUI subsystem (-mwindows).
add_executable(koa-update WIN32 app/main_win32.cpp)
target_link_libraries(koa-update PRIVATE koa_win32 koa_system)
koa_windows_program(koa-update)
koa_shipped_program_resources(koa-update "koa-update: NVMe SSD firmware update")

# The console subsystem: PowerShell and cmd wait for it and read its output.
add_executable(koa-inventory inventory/main_win32.cpp)
target_link_libraries(koa-inventory PRIVATE koa_win32 koa_inventory)
koa_windows_program(koa-inventory)
koa_shipped_program_resources(koa-inventory "koa-inventory: NVMe SSD drives and their firmware for koa-update")

if(TARGET koa_sim)
  add_executable(koa-update-sim app/main_simulated.cpp)
  target_link_libraries(koa-update-sim PRIVATE koa_system koa_sim)
  koa_windows_program(koa-update-sim)
endif()

# The device shim for Wine and its error table's check
# (tests/windows/run-on-wine-devices.sh).
add_subdirectory(tests/windows/device_shim ${CMAKE_BINARY_DIR}/device_shim)
