# Tracing and the trace file layer.
if(VR_WINDOWS)
    # Real semaphore, registry, files and processes under Wine.
    add_executable(trace_helper trace_helper.cpp)
    set_target_properties(trace_helper PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VR_TEST_DIR})
    target_link_libraries(trace_helper PRIVATE vrcommon)
    target_include_directories(trace_helper PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/core)

    vr_add_test(trace_test SOURCES trace_test.cpp trace_support.cpp LIBS vrcommon
                DEPENDS trace_helper trace_client)
    target_include_directories(trace_test PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/core)
    vr_add_test(trace_fio_test SOURCES trace_fio_test.cpp LIBS vrcommon)
    vr_add_test(trace_process_test SOURCES trace_process_test.cpp trace_support.cpp LIBS vrcommon
                DEPENDS trace_helper)
    target_include_directories(trace_process_test PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/core)

    # A product component outside the library: includes vrcommon.h, links libvrcommon.a.
    add_executable(trace_client ${CMAKE_SOURCE_DIR}/examples/trace_client/trace_client.cpp)
    set_target_properties(trace_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VR_TEST_DIR})
    target_link_libraries(trace_client PRIVATE vrcommon)
else()
    vr_add_test(trace_core_test SOURCES trace_core_test.cpp LIBS vrcommon_portable)
endif()
