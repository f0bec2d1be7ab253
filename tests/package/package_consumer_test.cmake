# cmake -DBUILD_DIR=<windows build> -DSOURCE_DIR=<source> -DWORK_DIR=<scratch>
#       -DCXX=<C++ compiler> -DOBJDUMP=<objdump> -P package_consumer_test.cmake
# Installs the build, checks the tree, moves it, and builds and runs against
# the moved tree examples/package_client (C++) and examples/c_plugin (C only).
cmake_minimum_required(VERSION 3.25)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "${command}\nfailed (${result}):\n${output}")
    endif()
    set(output "${output}" PARENT_SCOPE)
endfunction()

function(run_in directory)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${directory}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "${command}\nin ${directory} failed (${result}):\n${output}")
    endif()
endfunction()

# The one fenced block of README.md of the given language that holds the text.
function(readme_block language text variable)
    file(READ ${SOURCE_DIR}/README.md readme)
    string(FIND "${readme}" "${text}" at)
    string(SUBSTRING "${readme}" 0 ${at} before)
    string(FIND "${before}" "```${language}\n" start REVERSE)
    if(at EQUAL -1 OR start EQUAL -1)
        message(FATAL_ERROR "README.md has no ${language} block with \"${text}\"")
    endif()
    string(LENGTH "```${language}\n" fence)
    math(EXPR start "${start} + ${fence}")
    string(SUBSTRING "${readme}" ${start} -1 block)
    string(FIND "${block}" "```" end)
    string(SUBSTRING "${block}" 0 ${end} block)
    set(${variable} "${block}" PARENT_SCOPE)
endfunction()

function(expect_files root expected)
    file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
    list(SORT found)
    list(SORT expected)
    if(NOT found STREQUAL expected)
        string(REPLACE ";" "\n  " found "${found}")
        string(REPLACE ";" "\n  " expected "${expected}")
        message(FATAL_ERROR "${root} holds\n  ${found}\nexpected\n  ${expected}")
    endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(installed ${WORK_DIR}/installed)
set(moved ${WORK_DIR}/moved)

# The shipped programs, and nothing of the tests.
set(programs Kelvane.exe vorUvez.exe vrcmsg.exe vrclog.exe)
set(binaries VRCCLN62.dll ${programs})
list(TRANSFORM binaries PREPEND bin/)

# A setup takes the binaries alone.
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/runtime --component runtime)
expect_files(${WORK_DIR}/runtime "${binaries}")

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${installed})
expect_files(${installed}/bin "${programs};VRCCLN62.dll")
set(package_files Config ConfigVersion Targets Targets-release)
list(TRANSFORM package_files REPLACE "(.+)" "cmake/VerantoClient/VerantoClient\\1.cmake")
expect_files(${installed}/lib "libvrcommon.a;libVRCCLN62.dll.a;${package_files}")
# The public headers only, none of the runtime's private ones.
expect_files(${installed}/include
    "vrcommon.h;vrc_trace.h;vrc_settings.h;vrc_system.h;vrc_pool.h;vrc_catalogue.h;vrc_messages.h")
foreach(file README.md veranto-sample/kelvane.cfg veranto-sample/VSMPLRES.DL_)
    if(NOT EXISTS ${installed}/share/doc/VerantoClient/${file})
        message(FATAL_ERROR "share/doc/VerantoClient/${file} is not installed")
    endif()
endforeach()

# Nothing may point back into the build machine's folders.
file(GLOB cmake_files ${installed}/lib/cmake/VerantoClient/*.cmake)
foreach(file ${cmake_files})
    file(READ ${file} text)
    foreach(folder ${BUILD_DIR} ${SOURCE_DIR} ${installed})
        string(FIND "${text}" "${folder}" at)
        if(NOT at EQUAL -1)
            message(FATAL_ERROR "${file} names ${folder}")
        endif()
    endforeach()
endforeach()

file(RENAME ${installed} ${moved})

set(client ${WORK_DIR}/client)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/package_client -B ${client} -G "Unix Makefiles"
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_TOOLCHAIN_FILE=${SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_PREFIX_PATH=${moved})
file(STRINGS ${client}/CMakeCache.txt package_dir REGEX "^VerantoClient_DIR:")
if(NOT package_dir STREQUAL "VerantoClient_DIR:PATH=${moved}/lib/cmake/VerantoClient")
    message(FATAL_ERROR "the client found another package: ${package_dir}")
endif()
run(${CMAKE_COMMAND} --build ${client})

# The catalogue library from the moved tree only.
run(${CMAKE_COMMAND} -E env WINEPATH=${moved}/bin
    ${SOURCE_DIR}/cmake/wine-run ${client}/package_client.exe)
string(REPLACE "\r" "" output "${output}")
message(STATUS "package_client:\n${output}")
foreach(expected
        "catalogue: VRC1004: Print Failed... Unable to create file report.tmp."
        "trace: line written to the driver log"
        "pool: 100 bytes allocated and freed")
    string(FIND "${output}" "${expected}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "package_client printed no \"${expected}\"")
    endif()
endforeach()

# A component written in C. The public headers compile alone at every C and
# C++ standard without a warning.
file(GLOB headers RELATIVE ${moved}/include ${moved}/include/*.h)
set(probes)
foreach(header ${headers})
    # A declaration of its own: a header of macros only would leave the unit empty.
    file(WRITE ${WORK_DIR}/headers/${header}.c "#include \"${header}\"\ntypedef int header_probe;\n")
    list(APPEND probes ${WORK_DIR}/headers/${header}.c)
endforeach()
set(strict -Wall -Wextra -pedantic -Werror -fsyntax-only -I${moved}/include ${probes})
foreach(standard c99 c11 c17 c2x)
    run(x86_64-w64-mingw32-gcc -std=${standard} ${strict})
endforeach()
foreach(standard c++98 c++11 c++17 c++20)
    run(${CXX} -x c++ -std=${standard} ${strict})
endforeach()

# examples/c_plugin from a project of C alone, and the plug-in again by
# README's CMake project and by its one gcc line, each taken from README as it
# is written: all of them import system DLLs only, and README's builds give
# the DLL the name a host loads.
set(plugin ${WORK_DIR}/c_plugin)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/c_plugin -B ${plugin} -G "Unix Makefiles"
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_C_FLAGS=-Wall -Wextra -pedantic -Werror"
    -DCMAKE_TOOLCHAIN_FILE=${SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_PREFIX_PATH=${moved})
run(${CMAKE_COMMAND} --build ${plugin})
set(readme_cmake ${WORK_DIR}/readme_cmake)
set(readme_gcc ${WORK_DIR}/readme_gcc)
readme_block(cmake "project(component C)" project)
file(WRITE ${readme_cmake}/CMakeLists.txt "${project}")
readme_block(sh "-o component.dll component.c" by_hand)
string(STRIP "${by_hand}" by_hand)
string(REPLACE "<dir>" "${moved}" by_hand "${by_hand}")
separate_arguments(by_hand UNIX_COMMAND "${by_hand}")
foreach(folder ${readme_cmake} ${readme_gcc})
    configure_file(${SOURCE_DIR}/examples/c_plugin/c_plugin.c ${folder}/component.c COPYONLY)
endforeach()
run(${CMAKE_COMMAND} -S ${readme_cmake} -B ${readme_cmake}/build -G "Unix Makefiles"
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_C_FLAGS=-Wall -Wextra -pedantic -Werror"
    -DCMAKE_TOOLCHAIN_FILE=${SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_PREFIX_PATH=${moved})
run(${CMAKE_COMMAND} --build ${readme_cmake}/build)
run_in(${readme_gcc} ${by_hand})
foreach(binary ${plugin}/c_plugin.dll ${plugin}/plugin_host.exe ${readme_cmake}/build/component.dll
               ${readme_gcc}/component.dll)
    if(NOT EXISTS ${binary})
        file(GLOB built ${readme_cmake}/build/*.dll ${readme_gcc}/*.dll)
        message(FATAL_ERROR "no ${binary}; built: ${built}")
    endif()
    run(${OBJDUMP} -p ${binary})
    string(REGEX REPLACE "DLL Name: (KERNEL32|msvcrt|ADVAPI32|USER32)\\.dll" "" output "${output}")
    if(output MATCHES "DLL Name: [^\r\n]+")
        message(FATAL_ERROR "${binary} imports ${CMAKE_MATCH_0}, not a system DLL")
    endif()
endforeach()

# The host traces and loads the plug-in, which traces from its export; the
# package's vrclog finds both lines of this run in the driver log.
string(RANDOM LENGTH 12 job)
run(${SOURCE_DIR}/cmake/wine-run ${plugin}/plugin_host.exe Z:${plugin}/c_plugin.dll ${job})
if(NOT output MATCHES "driver log: ([^\r\n]+)")
    message(FATAL_ERROR "plugin_host named no driver log:\n${output}")
endif()
run(${SOURCE_DIR}/cmake/wine-run ${moved}/bin/vrclog.exe lines --json --grep ${job} ${CMAKE_MATCH_1})
message(STATUS "vrclog lines --json --grep ${job}:\n${output}")
string(REGEX MATCHALL "\n" line_ends "${output}")
list(LENGTH line_ends records)
foreach(expected
        "\"file\":\"plugin_host.c\",[^\n]*\"class\":\"REL\",\"text\":\"host loads [^\n]* for job ${job}\""
        "\"file\":\"c_plugin.c\",[^\n]*\"class\":\"REL\",\"text\":\"plug-in printed job ${job}\"")
    if(NOT records EQUAL 2 OR NOT output MATCHES "\"process\":\"plugin_host\",[^\n]*${expected}")
        message(FATAL_ERROR "vrclog found not the host's and the plug-in's line, one each")
    endif()
endforeach()
