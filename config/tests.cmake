# The configuration utility's Wine tests: the preview against a real worker
# (the staged test layout's) and the settings writer against the registry.
if(NOT QM_TESTS)
  return()
endif()
set(QM_CONFIG_WORKER_ROOT "${CMAKE_SOURCE_DIR}/build/dist-test" CACHE PATH
    "Install root with a runnable worker for the configuration utility's Wine tests")
qm_windows_path(config_worker_root "${QM_CONFIG_WORKER_ROOT}")
qm_add_test(NAME config_win_test
  SOURCES engine_link_test.cpp
  LIBS qm_config_core qm_testing_win
  ENV "QM_CONFIG_WORKER_ROOT=${config_worker_root}"
  TIMEOUT 300)
# Workers serve one machine-wide pipe: never next to another Wine test.
set_tests_properties(config_win_test PROPERTIES RUN_SERIAL TRUE)
