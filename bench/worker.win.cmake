# The worker seen from a client (Windows, test build): speaking into a WAV
# file for the demo, and the pipe's latency and memory figures.
if(NOT QM_FLAVOR STREQUAL "win64-test" OR NOT TARGET qm_worker_client OR NOT TARGET qm_engine_driver)
  return()
endif()
add_executable(worker_bench worker_bench.cpp ${CMAKE_SOURCE_DIR}/testing/pipe_client.cpp
               ${CMAKE_SOURCE_DIR}/testing/worker_probe.cpp)
target_link_libraries(worker_bench PRIVATE qm_worker_client qm_engine_driver qm_render qm_wav psapi)
target_link_options(worker_bench PRIVATE -municode)

add_executable(pipe_floor pipe_floor.cpp)
target_link_options(pipe_floor PRIVATE -municode)
