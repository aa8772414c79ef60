# Text preparation: SplitIntoChunks and ToEngineText against the text's length.
add_executable(text_bench text_bench.cpp)
target_link_libraries(text_bench PRIVATE qm_text benchmark::benchmark)
