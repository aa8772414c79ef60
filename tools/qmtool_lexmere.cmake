target_link_libraries(qmtool PRIVATE qm_synth qm_render qm_wav qm_dictionary)
