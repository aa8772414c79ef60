# The SAPI engine's own latency under Wine (64-bit build, with a worker from
# the staged test layout): Speak to first site write, abort to return.
if(NOT QM_FLAVOR STREQUAL "win64" OR NOT TARGET qm_sapi_core)
  return()
endif()
add_executable(sapi_bench sapi_bench.cpp)
target_link_libraries(sapi_bench PRIVATE qm_sapi_core)
target_link_options(sapi_bench PRIVATE -municode)
