# The audio renderer: mu-law expansion, time stretch, resampler, gain. Pure
# computation, built in every flavour (the 32-bit worker and diagnostics,
# the 64-bit tests, qmtool, benchmarks and fuzzers all use it).
add_library(qm_render STATIC
  mulaw.cpp render.cpp render_stream.cpp resample.cpp resample_avx2.cpp time_stretch.cpp time_stretch_sse2.cpp
  time_stretch_avx2.cpp)
target_include_directories(qm_render PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(qm_render PUBLIC qm_render_params)
# Same bytes from every build: no fused multiply-adds.
target_compile_options(qm_render PRIVATE -ffp-contract=off)
if(QM_WINDOWS)
  # 64-bit Windows compilers do not align the stack to 32 bytes for AVX
  # spills; let the assembler turn aligned vector moves into unaligned ones.
  set_source_files_properties(time_stretch_avx2.cpp resample_avx2.cpp PROPERTIES
    COMPILE_OPTIONS "-Wa,-muse-unaligned-vector-move")
endif()

# Host and the 64-bit Windows build run the same tests, so the bytes of both
# builds are checked against the same checksums.
if(QM_FLAVOR STREQUAL "host" OR QM_FLAVOR STREQUAL "win64")
  if(QM_WINDOWS)
    qm_windows_path(render_testdata ${CMAKE_CURRENT_SOURCE_DIR}/testdata)
  else()
    set(render_testdata ${CMAKE_CURRENT_SOURCE_DIR}/testdata)
  endif()
  qm_add_test(NAME render_test
    SOURCES render_test.cpp render_stream_test.cpp time_stretch_test.cpp
            ${CMAKE_SOURCE_DIR}/testing/render_signals.cpp ${CMAKE_SOURCE_DIR}/testing/alloc_failure.cpp
    LIBS qm_render qm_testing
    ENV "QM_RENDER_TESTDATA=${render_testdata}")
  if(TARGET render_test)
    target_compile_options(render_test PRIVATE -ffp-contract=off)
    # Also when the program is started by hand rather than by CTest.
    string(REPLACE "\\" "\\\\" render_testdata_literal "${render_testdata}")
    target_compile_definitions(render_test PRIVATE "QM_RENDER_TESTDATA_DIR=\"${render_testdata_literal}\"")
  endif()
endif()

qm_add_fuzzer(NAME render_fuzz SOURCES render_fuzz.cpp LIBS qm_render)
