# cmake -DNM=<nm> -DCC=<C compiler> -DLIBRARY=<libvrcommon.a> -P vrcommon_symbols_test.cmake
# A component written in C links libvrcommon.a: every name the library leaves
# undefined is one of its own, or is defined by what a C link brings (the C
# start-up code and runtime, libgcc) or by the platform libraries the package
# names (kernel32, advapi32, user32). Nothing of the C++ runtime: no exception
# personality or unwinder, no RTTI, no operator new or delete, nothing of libstdc++.
cmake_minimum_required(VERSION 3.25)

# "<member>: <name> <type>" for each global name of an archive or object file.
function(read_names file out)
    execute_process(COMMAND ${NM} -P -A -g ${file} OUTPUT_VARIABLE listing RESULT_VARIABLE result)
    string(REGEX MATCHALL "[^][/\n]+\\]?: [^ \n]+ [A-Za-z]" names "${listing}")
    if(NOT result EQUAL 0 OR NOT names)
        message(FATAL_ERROR "${NM} read no names of ${file}")
    endif()
    list(TRANSFORM names REPLACE "\\]:" ":")
    set(${out} ${names} PARENT_SCOPE)
endfunction()

read_names(${LIBRARY} needed)
set(allowed ${needed})
list(FILTER needed INCLUDE REGEX " U$")
foreach(name crt2.o dllcrt2.o libmingw32.a libmingwex.a libmsvcrt.a libgcc.a libkernel32.a libadvapi32.a libuser32.a)
    execute_process(COMMAND ${CC} -print-file-name=${name} OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    read_names(${path} names)
    list(APPEND allowed ${names})
endforeach()
list(FILTER allowed EXCLUDE REGEX " U$")
list(TRANSFORM allowed REPLACE "^.*: (.*) .$" "\\1")
list(REMOVE_DUPLICATES allowed)
if(__gxx_personality_seh0 IN_LIST allowed OR _Unwind_Resume IN_LIST allowed)
    message(FATAL_ERROR "the C++ runtime is among the names allowed")
endif()

set(outside)
foreach(need IN LISTS needed)
    string(REGEX REPLACE "^.*: (.*) U$" "\\1" name "${need}")
    if(NOT name IN_LIST allowed)
        list(APPEND outside "${need}")
    endif()
endforeach()
if(outside)
    list(REMOVE_DUPLICATES outside)
    string(REPLACE ";" "\n  " outside "${outside}")
    message(FATAL_ERROR "libvrcommon.a needs names that a C link does not bring:\n  ${outside}")
endif()
