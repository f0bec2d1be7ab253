# vrclog's log-line parser and the reader that splits a log into records.
if(NOT VR_WINDOWS)
    vr_add_fuzzer(vrclog_line_parser_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/vrclog/line_parser_fuzz.cpp
                  LIBS vrclog_core CORPUS ${CMAKE_CURRENT_LIST_DIR}/vrclog/corpus)
    # The slow reading of the tests that the quick one is held against.
    target_include_directories(vrclog_line_parser_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tests/vrclog)
endif()
# vrclog lines --json over any log bytes in the code pages this build knows.
if(NOT VR_WINDOWS)
    vr_add_fuzzer(vrclog_json_lines_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/vrclog/json_lines_fuzz.cpp
                  LIBS vrclog_core CORPUS ${CMAKE_CURRENT_LIST_DIR}/vrclog/json_corpus)
endif()
