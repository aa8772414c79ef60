# The user dictionary: compiling source lists of growing size, and the
# stand-in core's synthesis with a 10,000-entry dictionary on against off
# (bench/run-dictionary also measures time and peak memory of whole compiles).
add_executable(dictionary_bench ${CMAKE_CURRENT_SOURCE_DIR}/dictionary_bench.cpp)
target_link_libraries(dictionary_bench PRIVATE qm_dictionary qm_synth benchmark::benchmark)
