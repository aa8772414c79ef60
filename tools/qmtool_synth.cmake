target_link_libraries(qmtool PRIVATE qm_synth qm_wav)
