# Line splitting of the trace file layer's text reader.
if(NOT VR_WINDOWS)
    vr_add_fuzzer(trace_line_split_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/trace/line_split_fuzz.cpp
                  LIBS vrcommon_internal CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/trace/corpus)
endif()
