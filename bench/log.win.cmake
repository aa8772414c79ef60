# What one line of the diagnostic log costs a writer under Wine, alone and
# beside other writing processes.
if(NOT QM_FLAVOR STREQUAL "win64")
  return()
endif()
add_executable(log_bench log_bench.cpp)
target_link_libraries(log_bench PRIVATE qm_common)
target_link_options(log_bench PRIVATE -municode)
