# The tool's own logic under Wine, against a scripted engine road: the command
# table, the output places, every report and sample line, the WAV files and
# the sample plan. The real roads, SAPI and the installed layout are the
# end-to-end tests' (tests/e2e/diag_*.test.sh).
if(NOT QM_FLAVOR STREQUAL "win64")
  return()
endif()

qm_add_test(NAME diagnostics_test
  SOURCES diagnostics_test.cpp
  LIBS qm_diag qm_testing_win)
