# Memory pool: operation sequences on a fresh pool, checked after every step.
if(NOT VR_WINDOWS)
    vr_add_fuzzer(pool_fuzz
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/pool/pool_fuzz.cpp
        LIBS vrcommon_internal vr_test_support
        CORPUS ${CMAKE_CURRENT_LIST_DIR}/pool/corpus)
endif()
