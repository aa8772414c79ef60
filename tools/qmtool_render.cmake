target_link_libraries(qmtool PRIVATE qm_render qm_wav)
