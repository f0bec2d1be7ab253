# Tracing and the trace file layer.
if(VR_WINDOWS)
    # Real semaphore, registry, files and processes under Wine.
    add_executable(trace_helper trace_helper.cpp)
    set_target_properties(trace_helper PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VR_TEST_DIR})
    target_link_libraries(trace_helper PRIVATE vrcommon_internal)

    vr_add_test(trace_test SOURCES trace_test.cpp trace_support.cpp LIBS vrcommon_internal
                DEPENDS trace_helper trace_client)
    vr_add_test(trace_fio_test SOURCES trace_fio_test.cpp LIBS vrcommon_internal)
    vr_add_test(trace_process_test SOURCES trace_process_test.cpp trace_support.cpp LIBS vrcommon_internal
                DEPENDS trace_helper)

    # A product component outside the library: includes vrcommon.h, links libvrcommon.a.
    add_executable(trace_client ${CMAKE_SOURCE_DIR}/examples/trace_client/trace_client.cpp)
    set_target_properties(trace_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VR_TEST_DIR})
    target_link_libraries(trace_client PRIVATE vrcommon)
else()
    vr_add_test(trace_core_test SOURCES trace_core_test.cpp LIBS vrcommon_internal)
endif()
