# The client's tests run in the 64-bit build against a scripted fake worker.
if(NOT QM_FLAVOR STREQUAL "win64")
  return()
endif()

add_executable(fake_worker ${CMAKE_SOURCE_DIR}/testing/fake_worker.cpp)
target_link_libraries(fake_worker PRIVATE qm_protocol qm_common)
target_link_options(fake_worker PRIVATE -municode)

add_executable(worker_client_probe worker_client_probe.cpp)
target_link_libraries(worker_client_probe PRIVATE qm_worker_client)
target_link_options(worker_client_probe PRIVATE -municode)

qm_add_test(NAME worker_client_test
  SOURCES worker_client_test.cpp
  LIBS qm_worker_client qm_testing_win
  TIMEOUT 600)
add_dependencies(worker_client_test fake_worker worker_client_probe)
