# The message-table reader takes resource data that may be damaged: every
# input must be refused or read within its bounds.
if(NOT VR_WINDOWS)
    vr_add_fuzzer(message_table_fuzz
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/catalogue/message_table_fuzz.cpp
        LIBS vrcmsg_core
        CORPUS ${CMAKE_CURRENT_LIST_DIR}/catalogue/corpus)
endif()
