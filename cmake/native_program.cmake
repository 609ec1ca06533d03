add_library(tavorin_posix STATIC
  src/platform/posix/posix_platform.cpp
  src/platform/posix/errno_kind.cpp
)
target_link_libraries(tavorin_posix PUBLIC tavorin_core)

add_executable(tavorin_shim src/platform/posix/main.cpp
                            src/platform/posix/out_of_memory.cpp)
target_link_libraries(tavorin_shim PRIVATE tavorin_posix)

add_subdirectory(examples)

if(TAVORIN_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests)
endif()
