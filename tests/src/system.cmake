# Named mutexes and the UI lock, packed atoms, plug-in caching and probes,
# device-mode dumps.
if(VR_WINDOWS)
    vr_add_test(system_core_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/system_core_test.cpp
                LIBS vrcommon)
    target_include_directories(system_core_test PRIVATE ${CMAKE_SOURCE_DIR}/src/core)
else()
    vr_add_test(system_core_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/system_core_test.cpp
                LIBS vrcommon_portable)
endif()
