# Named mutexes and the UI lock, packed atoms, plug-in caching and probes,
# device-mode dumps.
if(VR_WINDOWS)
    vr_add_test(system_core_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/system_core_test.cpp
                LIBS vrcommon_internal)
else()
    vr_add_test(system_core_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/system_core_test.cpp
                LIBS vrcommon_internal)
endif()

if(VR_WINDOWS)
    # The other process of the tests, and a stand-in shell for the shield icon.
    add_executable(system_helper ${CMAKE_CURRENT_LIST_DIR}/system_helper.cpp)
    target_link_libraries(system_helper PRIVATE vrcommon)
    target_link_options(system_helper PRIVATE -municode)
    add_library(system_stock_icon SHARED ${CMAKE_CURRENT_LIST_DIR}/system_stock_icon.cpp)
    set_target_properties(system_helper system_stock_icon PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${VR_TEST_DIR} PREFIX "")
    foreach(target system_helper system_stock_icon)
        target_compile_definitions(${target} PRIVATE VR_TEST_DIR="${VR_TEST_DIR}")
    endforeach()

    vr_add_test(system_mutex_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/system_mutex_test.cpp
                LIBS vrcommon_internal DEPENDS system_helper)
    vr_add_test(system_atoms_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/system_atoms_test.cpp
                LIBS vrcommon_internal DEPENDS system_helper)
    vr_add_test(system_platform_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/system_platform_test.cpp
                LIBS vrcommon_internal shell32 DEPENDS system_helper system_stock_icon vorUvez)
    vr_add_test(system_devmode_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/system_devmode_test.cpp
                LIBS vrcommon_internal DEPENDS system_helper)
endif()
