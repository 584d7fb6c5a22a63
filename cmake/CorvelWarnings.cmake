# Warning flags for every target of the project; -Werror only where CORVEL_WARNINGS_AS_ERRORS asks.
function(corvel_set_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /utf-8 $<$<BOOL:${CORVEL_WARNINGS_AS_ERRORS}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
            $<$<BOOL:${CORVEL_WARNINGS_AS_ERRORS}>:-Werror>)
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
            # GCC 12 reports std::string concatenation at -O3 as overlapping (GCC bug 105651).
            target_compile_options(${target} PRIVATE -Wno-restrict)
        endif()
        if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
            # libstdc++ 12's std::stable_sort calls get_temporary_buffer, deprecated in C++23.
            target_compile_options(${target} PRIVATE -Wno-deprecated-declarations)
        endif()
    endif()
endfunction()
