# Memory pool: layout and hint rules on fresh pools, the exported functions, a
# randomized run against a model, and the memory estimates.
set(pool_test_sources
    ${CMAKE_CURRENT_LIST_DIR}/pool_layout_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pool_api_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pool_estimate_test.cpp)
if(VR_WINDOWS)
    vr_add_test(pool_test SOURCES ${pool_test_sources} LIBS vrcommon_internal)
else()
    vr_add_test(pool_test SOURCES ${pool_test_sources} LIBS vrcommon_internal)
endif()
