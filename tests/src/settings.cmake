# Settings store and data folders.
if(VR_WINDOWS)
    # Real registry, a real Wine printer and real folders in the test prefix.
    vr_add_test(settings_store_test SOURCES settings_store_test.cpp settings_support.cpp
                LIBS vrcommon winspool)
    target_include_directories(settings_store_test PRIVATE ${CMAKE_SOURCE_DIR}/src/core)
    vr_add_test(folders_test SOURCES folders_test.cpp settings_support.cpp LIBS vrcommon shell32)
    target_include_directories(folders_test PRIVATE ${CMAKE_SOURCE_DIR}/src/core)
else()
    vr_add_test(settings_core_test SOURCES settings_core_test.cpp LIBS vrcommon_portable)
endif()
