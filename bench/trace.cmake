# Tracer throughput under Wine: release lines against a bare open-append-close
# of the same line, and held function entries against the per-call lock.
if(VR_WINDOWS)
    add_executable(trace_bench ${CMAKE_CURRENT_LIST_DIR}/trace_bench.cpp)
    set_target_properties(trace_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
    target_link_libraries(trace_bench PRIVATE vrcommon vrcommon_platform vr_test_support_windows)
endif()
