# The worker program. Ships 32-bit; its 64-bit test build runs under Wine.
add_library(qm_pipe_security_text STATIC pipe_security.cpp)
target_include_directories(qm_pipe_security_text PUBLIC ${CMAKE_SOURCE_DIR})
if(QM_FLAVOR STREQUAL "host")
  qm_add_test(NAME worker_pipe_security_test SOURCES pipe_security_test.cpp LIBS qm_pipe_security_text)
endif()

if(NOT QM_SHIPS_32 OR NOT TARGET qm_engine_driver OR NOT TARGET qm_render)
  return()
endif()

add_library(qm_worker STATIC server.cpp pipe_connection.cpp pipe_security_win.cpp)
target_link_libraries(qm_worker PUBLIC qm_segment_streamer qm_pipe_security_text qm_engine_driver
                      qm_common advapi32)

add_executable(QuellmarServer server_main.cpp)
target_link_libraries(QuellmarServer PRIVATE qm_worker)
qm_version_resource(QuellmarServer "Quellmar speech worker")
target_link_options(QuellmarServer PRIVATE -municode)
qm_install(QuellmarServer "x86")

if(QM_FLAVOR STREQUAL "win64-test")
  # The same worker with short time limits and a small memory cap, for the tests that reach them.
  add_library(qm_worker_shortidle STATIC server.cpp pipe_connection.cpp pipe_security_win.cpp)
  target_compile_definitions(qm_worker_shortidle PRIVATE QM_WORKER_IDLE_MS=3000 QM_WORKER_WAKE_MS=500
                             QM_WORKER_STALL_MS=10000 QM_WORKER_EVICT_MS=1000
                             QM_WORKER_CLIENT_MEMORY_MB=4 QM_WORKER_MAX_CONNECTIONS=20)
  target_link_libraries(qm_worker_shortidle PUBLIC qm_segment_streamer qm_pipe_security_text
                        qm_engine_driver qm_common advapi32)
  add_executable(QuellmarServer_shortidle server_main.cpp)
  target_link_libraries(QuellmarServer_shortidle PRIVATE qm_worker_shortidle)
  target_link_options(QuellmarServer_shortidle PRIVATE -municode)

  qm_add_test(NAME worker_server_test
    SOURCES server_test.cpp
    LIBS qm_worker qm_worker_client qm_testing_win advapi32
    TIMEOUT 600)
  add_dependencies(worker_server_test QuellmarServer QuellmarServer_shortidle fake_qmcore)
  if(TARGET qmcore)
    add_dependencies(worker_server_test qmcore)
  endif()
endif()
