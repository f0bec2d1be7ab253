# Settings store and data folders.
if(VR_WINDOWS)
    # Real registry, a real Wine printer and real folders in the test prefix.
    vr_add_test(settings_store_test SOURCES settings_store_test.cpp settings_support.cpp
                LIBS vrcommon_internal winspool)
    vr_add_test(folders_test SOURCES folders_test.cpp settings_support.cpp LIBS vrcommon_internal shell32)
else()
    vr_add_test(settings_core_test SOURCES settings_core_test.cpp LIBS vrcommon_internal)
endif()
