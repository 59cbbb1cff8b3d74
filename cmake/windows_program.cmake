# The Windows programs, built with the mingw-w64 cross toolchain
# (cmake/mingw-w64-x86_64.cmake, the `windows` preset):
#
#   koa-update.exe      the program as shipped: the real Win32 platform, GUI
#                       subsystem (no console, no window), wide entry point,
#                       statically linked, with its manifest and version record;
#   koa-update-sim.exe  the same program on the simulated machine, a console
#                       program for the tests under Wine;
#   koa-win32-platform-check.exe  checks of the Win32 platform, under Wine.
#
# Both are linked without a timestamp and built without build paths in them,
# so that the same sources and image give the same bytes.

enable_language(RC)

set(KOA_WINDOWS_DESCRIPTION "koa-update: NVMe SSD firmware update")
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

set(KOA_WINDOWS_RESOURCES ${CMAKE_BINARY_DIR}/resources)
set(KOA_WINDOWS_MANIFEST_FILE ${KOA_WINDOWS_RESOURCES}/koa-update.manifest)
configure_file(app/resources/koa-update.manifest.in ${KOA_WINDOWS_MANIFEST_FILE} @ONLY)
configure_file(app/resources/koa-update.rc.in ${KOA_WINDOWS_RESOURCES}/koa-update.rc @ONLY)
set_source_files_properties(${KOA_WINDOWS_RESOURCES}/koa-update.rc PROPERTIES
  OBJECT_DEPENDS ${KOA_WINDOWS_MANIFEST_FILE})

# The Win32 platform checked against a real SetupAPI and kernel, under Wine.
add_executable(koa-win32-platform-check tests/windows/win32_platform_check.cpp)
target_link_libraries(koa-win32-platform-check PRIVATE koa_win32)
koa_windows_program(koa-win32-platform-check)

# The entry routine and the simulated machine arrive in the tree separately;
# each program is built once what it needs is there.
if(NOT EXISTS ${CMAKE_SOURCE_DIR}/app/run_program.cpp)
  return()
endif()

# WIN32: the GUI subsystem (-mwindows).
add_executable(koa-update WIN32 app/main_win32.cpp ${KOA_WINDOWS_RESOURCES}/koa-update.rc)
target_link_libraries(koa-update PRIVATE koa_win32 koa_system)
koa_windows_program(koa-update)

# The console subsystem: PowerShell and cmd wait for it and read its output.
add_executable(koa-inventory inventory/main_win32.cpp)
target_link_libraries(koa-inventory PRIVATE koa_win32 koa_inventory)
koa_windows_program(koa-inventory)

if(TARGET koa_sim)
  add_executable(koa-update-sim app/main_simulated.cpp)
  target_link_libraries(koa-update-sim PRIVATE koa_system koa_sim)
  koa_windows_program(koa-update-sim)
endif()

# The device shim for Wine and its error table's check
# (tests/windows/run-on-wine-devices.sh).
add_subdirectory(tests/windows/device_shim ${CMAKE_BINARY_DIR}/device_shim)
