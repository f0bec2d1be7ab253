# Kelvane's command line and configuration file take any bytes: no crash, no
# read or write past a buffer.
if(NOT VR_WINDOWS)
    set(kelvane_fuzz_dir ${CMAKE_CURRENT_LIST_DIR}/installer)
    vr_add_fuzzer(kelvane_command_line_fuzz
        SOURCES ${kelvane_fuzz_dir}/command_line_fuzz.cpp ${CMAKE_SOURCE_DIR}/tests/installer/core_fakes.cpp
        LIBS kelvane_core
        CORPUS ${kelvane_fuzz_dir}/command_line)
    target_include_directories(kelvane_command_line_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/tests/installer)
    vr_add_fuzzer(kelvane_config_fuzz
        SOURCES ${kelvane_fuzz_dir}/config_fuzz.cpp ${CMAKE_SOURCE_DIR}/tests/installer/core_fakes.cpp
        LIBS kelvane_core
        CORPUS ${kelvane_fuzz_dir}/config)
    target_include_directories(kelvane_config_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/tests/installer
                                                           ${CMAKE_SOURCE_DIR}/tests/support)
endif()
