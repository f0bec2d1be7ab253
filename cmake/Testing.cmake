# Test helpers shared by every folder of tests/.
#
#   vr_add_test(<name> SOURCES <files...> [LIBS <targets...>] [NO_GTEST_MAIN]
#               [ENVIRONMENT <VAR=value...>] [DEPENDS <targets...>])
#
# builds one test executable and registers it as ONE ctest entry (every Wine
# start costs about a second, so test cases are not registered one by one).
# In the windows build the test runs under Wine in <build>/wineprefix, with
# bin/ on WINEPATH so that it finds VRCCLN62.dll and the product programs;
# VR_BIN_DIR and VR_SOURCE_DIR are passed as macros for tests that start or load
# them by path.

# GoogleTest from Debian's sources, built here for both builds.
set(VR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${VR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

enable_testing()
set(VR_TEST_DIR ${CMAKE_BINARY_DIR}/tests)
set(VR_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)

function(vr_add_test name)
    cmake_parse_arguments(T "NO_GTEST_MAIN" "" "SOURCES;LIBS;ENVIRONMENT;DEPENDS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VR_TEST_DIR})
    target_compile_definitions(${name} PRIVATE
        VR_BIN_DIR="${CMAKE_BINARY_DIR}/bin" VR_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
        VR_TEST_DIR="${VR_TEST_DIR}")
    if(T_NO_GTEST_MAIN)
        target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock ${T_LIBS})
    else()
        target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock ${T_LIBS})
    endif()
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set(env ${T_ENVIRONMENT})
    if(VR_WINDOWS)
        list(APPEND env "WINEPREFIX=${VR_WINE_PREFIX}" "WINEPATH=${CMAKE_BINARY_DIR}/bin")
    endif()
    if(env)
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
    endif()
endfunction()

# Host fuzz targets: libFuzzer when clang is the compiler, otherwise a small
# driver that replays every file of the corpus folder given on the command line.
function(vr_add_fuzzer name)
    cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        set(replay -runs=0)
    else()
        target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
        set(replay)
    endif()
    if(F_CORPUS)
        file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${name}.corpus "${F_CORPUS}")
        # The corpus replays as a regression test in every host run.
        add_test(NAME ${name}_corpus COMMAND ${name} ${replay} ${F_CORPUS})
    endif()
endfunction()
