# EngineDriver, the install-root search and the engine status names.

# Status names are portable.
add_library(qm_engine_status STATIC engine_status.cpp)
target_include_directories(qm_engine_status PUBLIC ${CMAKE_SOURCE_DIR})

if(QM_FLAVOR STREQUAL "host")
  qm_add_test(NAME engine_status_test SOURCES engine_status_test.cpp LIBS qm_engine_status)
endif()

if(NOT QM_WINDOWS)
  return()
endif()

# The install-root search stands alone: the 64-bit tools use it without the driver.
add_library(qm_install_root STATIC install_root.cpp)
target_include_directories(qm_install_root PUBLIC ${CMAKE_SOURCE_DIR})

add_library(qm_engine_driver STATIC engine_driver.cpp)
target_link_libraries(qm_engine_driver PUBLIC qm_engine_status qm_install_root qm_common)

# The driver ships in the 32-bit programs: tested in their 64-bit test build.
if(QM_FLAVOR STREQUAL "win64-test")
  add_executable(engine_driver_probe engine_driver_probe.cpp)
  target_link_libraries(engine_driver_probe PRIVATE qm_engine_driver)
  target_link_options(engine_driver_probe PRIVATE -municode)

  qm_add_test(NAME engine_driver_test
    SOURCES engine_driver_test.cpp install_root_test.cpp
    LIBS qm_engine_driver qm_testing_win)
  add_dependencies(engine_driver_test engine_driver_probe fake_engine_cores)
endif()
