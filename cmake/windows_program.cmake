# The Windows program: a console executable with no C or C++ runtime DLL.
# The few pieces of a runtime that the host needs (the entry point, the heap
# operators, the memory functions, the library's failure hooks) are its own,
# so the only imports are kernel32, ntdll and ws2_32.

add_library(tavorin_windows STATIC
  src/platform/windows/active_platform.cpp
  src/platform/windows/clock.cpp
  src/platform/windows/console_input.cpp
  src/platform/windows/console_output.cpp
  src/platform/windows/error_codes.cpp
  src/platform/windows/files.cpp
  src/platform/windows/listener_owner.cpp
  src/platform/windows/memory_blocks.cpp
  src/platform/windows/message_text.cpp
  src/platform/windows/process.cpp
  src/platform/windows/process_user.cpp
  src/platform/windows/process_session.cpp
  src/platform/windows/raw_stream.cpp
  src/platform/windows/sockets.cpp
  src/platform/windows/standard_streams.cpp
  src/platform/windows/system_message.cpp
  src/platform/windows/tcp_table.cpp
  src/platform/windows/temp_directory.cpp
  src/platform/windows/wide_text.cpp
)
target_link_libraries(tavorin_windows PUBLIC tavorin_core)
target_compile_definitions(tavorin_windows PUBLIC
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)

# The runtime is linked as objects, not from an archive: the linker must
# take these definitions before it would look anywhere else for them.
add_executable(tavorin_shim
  src/host/main_windows.cpp
  src/platform/windows/runtime/heap_allocation.cpp
  src/platform/windows/runtime/immediate_stop.cpp
  src/platform/windows/runtime/library_failures.cpp
  src/platform/windows/runtime/memory_functions.cpp
)

# The version block, the icon and the manifest. The icon is drawn at build
# time; the version header and the manifest carry the project version; windres
# looks for the files the resource script names in its include paths.
enable_language(RC)
configure_file(${CMAKE_SOURCE_DIR}/resources/tavorin_version.h.in
               ${CMAKE_CURRENT_BINARY_DIR}/tavorin_version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/tavorin_shim.manifest.in
               ${CMAKE_CURRENT_BINARY_DIR}/tavorin_shim.manifest @ONLY)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(TAVORIN_ICON ${CMAKE_CURRENT_BINARY_DIR}/tavorin.ico)
add_custom_command(OUTPUT ${TAVORIN_ICON}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/resources/draw_icon.py
          ${TAVORIN_ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/draw_icon.py
  COMMENT "Drawing the program icon")
target_sources(tavorin_shim PRIVATE resources/tavorin_shim.rc)
set_source_files_properties(resources/tavorin_shim.rc PROPERTIES
  OBJECT_DEPENDS
  "${TAVORIN_ICON};${CMAKE_CURRENT_BINARY_DIR}/tavorin_shim.manifest;${CMAKE_CURRENT_BINARY_DIR}/tavorin_version.h")
target_include_directories(tavorin_shim PRIVATE
  ${CMAKE_CURRENT_BINARY_DIR} ${CMAKE_SOURCE_DIR}/resources)

# The compiler must not recognise the memory functions' own loops and turn
# them into calls of themselves.
set_source_files_properties(src/platform/windows/runtime/memory_functions.cpp
  PROPERTIES COMPILE_OPTIONS
  "-ffreestanding;-fno-builtin;-fno-tree-loop-distribute-patterns")

# No default Windows libraries: exactly the three below are imported.
set(CMAKE_CXX_STANDARD_LIBRARIES "")

target_link_options(tavorin_shim PRIVATE
  -nostdlib -nostartfiles -static
  -Wl,--entry=tavorin_start
  -Wl,--subsystem,console
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va)
# libgcc brings the stack probe (___chkstk_ms) for large stack frames.
target_link_libraries(tavorin_shim PRIVATE
  tavorin_windows tavorin_core kernel32 ntdll ws2_32 gcc)

# Nothing runs static constructors in this program, so one that slips in
# would silently never run: refuse to build it.
add_custom_command(TARGET tavorin_shim POST_BUILD
  COMMAND sh -c "! ${CMAKE_NM} \"$1\" | grep -q _GLOBAL__sub_I_ || { echo \"$1 has static constructors, which never run here\" >&2; exit 1; }" check_constructors $<TARGET_FILE:tavorin_shim>
  VERBATIM)

# The backend's own checks, run under Wine by the native test suite. An
# ordinary program with the cross compiler's C runtime, linked statically so
# that Wine needs no DLL of it.
add_executable(windows_backend_tests tests/windows/backend_test.cpp
                                     tests/windows/console_checks.cpp
                                     tests/windows/owner_checks.cpp)
target_link_libraries(windows_backend_tests PRIVATE tavorin_windows
                      tavorin_core ws2_32 ntdll)
# Pseudo consoles came with Windows 10 1809.
target_compile_definitions(windows_backend_tests PRIVATE NTDDI_VERSION=0x0A000006)
target_link_options(windows_backend_tests PRIVATE -static -municode)

# Starts the host as the browser does, for the end-to-end tests under Wine.
add_executable(chrome_launcher tests/chrome_launcher/main.cpp
                               tests/chrome_launcher/console_view.cpp)
target_link_libraries(chrome_launcher PRIVATE tavorin_native_messaging)
target_link_options(chrome_launcher PRIVATE -static -municode)
