# cmake -DNM=<nm> -DCC=<C compiler> -DLIBRARY=<libvrcommon.a> -P vrcommon_symbols_test.cmake
# A component written in C links libvrcommon.a: every name the library leaves
# undefined is one of its own, or is defined by what a C link brings (the C
# start-up code and runtime, libgcc) or by the platform libraries the package
# names (kernel32, advapi32, user32). Nothing of the C++ runtime: no exception personality or
# unwinder, no RTTI, no operator new or delete, nothing of libstdc++.
cmake_minimum_required(VERSION 3.25)

# The global names an archive defines, and "<member>: <name>" for each it needs.
function(read_symbols archive defined needed)
    execute_process(COMMAND ${NM} -P -A -g ${archive} OUTPUT_VARIABLE listing RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${NM} ${archive} failed")
    endif()
    string(REGEX MATCHALL "[^\n]*\n" lines "${listing}")
    set(defines)
    set(needs)
    foreach(line IN LISTS lines)
        if(line MATCHES "([^][/]+)\\]?: ([^ ]+) ([A-Za-z]) ")
            if(CMAKE_MATCH_3 STREQUAL "U")
                list(APPEND needs "${CMAKE_MATCH_1}: ${CMAKE_MATCH_2}")
            else()
                list(APPEND defines ${CMAKE_MATCH_2})
            endif()
        endif()
    endforeach()
    set(${defined} ${defines} PARENT_SCOPE)
    set(${needed} ${needs} PARENT_SCOPE)
endfunction()

read_symbols(${LIBRARY} own needed)
set(allowed ${own})
# The start-up code of a program and of a DLL, the C runtime, libgcc, the platform.
foreach(name crt2.o dllcrt2.o libmingw32.a libmingwex.a libmsvcrt.a libgcc.a libkernel32.a libadvapi32.a libuser32.a)
    execute_process(COMMAND ${CC} -print-file-name=${name} OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    read_symbols(${path} defines ignored)
    list(APPEND allowed ${defines})
endforeach()
# The check itself: the library was read, and the C++ runtime is not among what is allowed.
list(FIND allowed DBG_Print own_name)
list(FIND allowed __gxx_personality_seh0 personality)
list(FIND allowed _Unwind_Resume unwinder)
list(LENGTH needed needed_count)
if(own_name EQUAL -1 OR needed_count EQUAL 0 OR NOT personality EQUAL -1 OR NOT unwinder EQUAL -1)
    message(FATAL_ERROR "the names of ${LIBRARY} or of the C runtime were not read")
endif()

set(outside)
foreach(need IN LISTS needed)
    string(REGEX REPLACE "^.*: " "" name "${need}")
    list(FIND allowed "${name}" at)
    if(at EQUAL -1)
        list(APPEND outside "${need}")
    endif()
endforeach()
if(outside)
    list(REMOVE_DUPLICATES outside)
    string(REPLACE ";" "\n  " outside "${outside}")
    message(FATAL_ERROR "libvrcommon.a needs names that a C link does not bring:\n  ${outside}")
endif()
message(STATUS "libvrcommon.a: ${needed_count} undefined references, all to itself, the C runtime or the platform libraries")
