# The stand-in engine core's synthesiser: how many times faster than real
# time it speaks (bench/run-synth prints the factor).
add_executable(synth_bench ${CMAKE_CURRENT_SOURCE_DIR}/synth_bench.cpp)
target_link_libraries(synth_bench PRIVATE qm_synth benchmark::benchmark)
