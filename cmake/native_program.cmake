add_library(tavorin_posix STATIC
  src/platform/posix/clock.cpp
  src/platform/posix/error_codes.cpp
  src/platform/posix/files.cpp
  src/platform/posix/listener_owner.cpp
  src/platform/posix/memory_blocks.cpp
  src/platform/posix/process.cpp
  src/platform/posix/sockets.cpp
  src/platform/posix/standard_streams.cpp
  src/platform/posix/system_message.cpp
  src/platform/posix/temp_directory.cpp
)
target_link_libraries(tavorin_posix PUBLIC tavorin_core)

add_executable(tavorin_shim src/host/main_posix.cpp
                            src/platform/posix/memory.cpp)
target_link_libraries(tavorin_shim PRIVATE tavorin_posix)

add_subdirectory(examples)

if(TAVORIN_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests)
endif()
