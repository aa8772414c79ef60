# Audio rendering against the two time stretchers Debian ships (bench-only
# dependencies). bench/run-render makes the speech and runs it.
find_path(SONIC_INCLUDE_DIR sonic.h)
find_library(SONIC_LIBRARY sonic)
find_package(PkgConfig)
if(PkgConfig_FOUND)
  pkg_check_modules(SOUNDTOUCH IMPORTED_TARGET soundtouch)
endif()
if(NOT SONIC_INCLUDE_DIR OR NOT SONIC_LIBRARY OR NOT SOUNDTOUCH_FOUND)
  message(STATUS "render_bench skipped: libsonic-dev and libsoundtouch-dev are needed (scripts/setup)")
  return()
endif()

add_executable(render_bench render_bench.cpp)
target_include_directories(render_bench PRIVATE ${SONIC_INCLUDE_DIR})
target_link_libraries(render_bench PRIVATE qm_render ${SONIC_LIBRARY} PkgConfig::SOUNDTOUCH benchmark::benchmark)
