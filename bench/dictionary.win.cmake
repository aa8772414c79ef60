# The engine core's synthesis with the user dictionary on and off, under
# Wine (bench/run-dictionary runs it).
if(NOT QM_FLAVOR STREQUAL "win64-test")
  return()
endif()
add_executable(dictionary_core_bench dictionary_core_bench.cpp)
target_include_directories(dictionary_core_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(dictionary_core_bench PRIVATE -municode)
