# The configuration utility's start and preview times under Wine (bench/run-config).
if(NOT QM_FLAVOR STREQUAL "win64" OR NOT TARGET qm_config_core)
  return()
endif()
add_executable(config_bench config_bench.cpp)
target_link_libraries(config_bench PRIVATE qm_config_core)
target_link_options(config_bench PRIVATE -municode)
