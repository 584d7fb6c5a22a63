# Writes the lower-case mapping and the character property tables that core/src/text uses, from
# the Unicode Character Database text files. Run as a script:
#   cmake -DUCD_DIR=<folder with the UCD files> -DOUTPUT=<file.inc> -P GenerateUnicodeTables.cmake
#
# The output defines, as constexpr arrays sorted by code point:
#   k_lower_single[]    {from, to}: full lower-case mapping to one code point
#   k_lower_expanded[]  {from, {a, b, c}}: full lower-case mapping to two or three code points
#   k_cased[], k_case_ignorable[], k_white_space[]  {first, last}: property ranges
# The types LowerSingle, LowerExpanded and CodeRange are defined by the including file.
#
# Only the needed lines are picked with file(STRINGS ... REGEX); CMake loops over whole UCD files
# would take seconds.

cmake_minimum_required(VERSION 3.25)

foreach(required IN ITEMS UCD_DIR OUTPUT)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "GenerateUnicodeTables.cmake needs -D${required}=...")
    endif()
endforeach()

# Pads a hexadecimal code point to six digits so that sorting the texts sorts the code points.
function(pad_code_point hex out_var)
    string(LENGTH "${hex}" length)
    math(EXPR missing "6 - ${length}")
    if(missing GREATER 0)
        string(REPEAT "0" ${missing} zeros)
        set(hex "${zeros}${hex}")
    endif()
    set(${out_var} "${hex}" PARENT_SCOPE)
endfunction()

# Reads the "first..last ; Property #" lines of `file` for `property` into C++ range rows.
function(read_property_ranges file property out_var)
    file(STRINGS "${UCD_DIR}/${file}" lines REGEX "^[0-9A-F.]+ *; ${property} #")
    if(NOT lines)
        message(FATAL_ERROR "No ${property} lines in ${UCD_DIR}/${file}")
    endif()
    set(rows "")
    set(previous_last -1)
    foreach(line IN LISTS lines)
        if(NOT line MATCHES "^([0-9A-F]+)(\\.\\.([0-9A-F]+))? *;")
            message(FATAL_ERROR "Unexpected ${property} line in ${file}: ${line}")
        endif()
        set(first "${CMAKE_MATCH_1}")
        set(last "${CMAKE_MATCH_3}")
        if(last STREQUAL "")
            set(last "${first}")
        endif()
        # The lookups use binary search: insist on ascending, disjoint ranges.
        math(EXPR first_value "0x${first}")
        math(EXPR last_value "0x${last}")
        if(first_value LESS_EQUAL previous_last OR last_value LESS first_value)
            message(FATAL_ERROR "${property} ranges in ${file} are not ascending at ${line}")
        endif()
        set(previous_last ${last_value})
        string(APPEND rows "    {0x${first}, 0x${last}},\n")
    endforeach()
    set(${out_var} "${rows}" PARENT_SCOPE)
endfunction()

# SpecialCasing.txt: "code; lower; title; upper; # name". Conditional mappings carry a fifth
# field (a condition list such as Final_Sigma or tr) before the comment and are left out here:
# language-specific ones are not applied, the final sigma is handled in code.
file(STRINGS "${UCD_DIR}/SpecialCasing.txt" special_lines
    REGEX "^[0-9A-F]+; [0-9A-F ]*; [0-9A-F ]*; [0-9A-F ]*; #")
if(NOT special_lines)
    message(FATAL_ERROR "No unconditional mappings in ${UCD_DIR}/SpecialCasing.txt")
endif()
set(special_codes "")
foreach(line IN LISTS special_lines)
    if(NOT line MATCHES "^([0-9A-F]+); ([0-9A-F ]*);")
        message(FATAL_ERROR "Unexpected SpecialCasing line: ${line}")
    endif()
    list(APPEND special_codes "${CMAKE_MATCH_1}")
    string(STRIP "${CMAKE_MATCH_2}" lower)
    set("special_lower_${CMAKE_MATCH_1}" "${lower}")
endforeach()

# UnicodeData.txt: only the lines whose field 13 (simple lower-case mapping) is filled.
file(STRINGS "${UCD_DIR}/UnicodeData.txt" simple_lines
    REGEX "^[0-9A-F]+;[^;]*;[^;]*;[^;]*;[^;]*;[^;]*;[^;]*;[^;]*;[^;]*;[^;]*;[^;]*;[^;]*;[^;]*;[0-9A-F]+;")
if(NOT simple_lines)
    message(FATAL_ERROR "No lower-case mappings in ${UCD_DIR}/UnicodeData.txt")
endif()
set(single_entries "")
foreach(line IN LISTS simple_lines)
    if(NOT line MATCHES "^([0-9A-F]+);([^;]*;)+([0-9A-F]+);[^;]*$")
        message(FATAL_ERROR "Unexpected UnicodeData line: ${line}")
    endif()
    set(code "${CMAKE_MATCH_1}")
    set(lower "${CMAKE_MATCH_3}")
    # An unconditional SpecialCasing mapping replaces the simple one.
    if(NOT DEFINED "special_lower_${code}")
        pad_code_point("${code}" padded)
        list(APPEND single_entries "${padded}:${lower}")
    endif()
endforeach()

set(expanded_entries "")
foreach(code IN LISTS special_codes)
    string(REPLACE " " ";" lower "${special_lower_${code}}")
    list(LENGTH lower count)
    pad_code_point("${code}" padded)
    if(count EQUAL 1)
        if(NOT lower STREQUAL code)
            list(APPEND single_entries "${padded}:${lower}")
        endif()
    elseif(count GREATER 1 AND count LESS_EQUAL 3)
        list(JOIN lower ":" joined)
        list(APPEND expanded_entries "${padded}:${joined}")
    else()
        message(FATAL_ERROR "Unexpected lower-case mapping of ${code}: '${special_lower_${code}}'")
    endif()
endforeach()
list(SORT single_entries)
list(SORT expanded_entries)

set(single_rows "")
set(previous "")
foreach(entry IN LISTS single_entries)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 from)
    list(GET parts 1 to)
    if(from STREQUAL previous)
        message(FATAL_ERROR "Two lower-case mappings for ${from}")
    endif()
    set(previous "${from}")
    string(APPEND single_rows "    {0x${from}, 0x${to}},\n")
endforeach()

set(expanded_rows "")
foreach(entry IN LISTS expanded_entries)
    string(REPLACE ":" ";" parts "${entry}")
    list(POP_FRONT parts from)
    list(LENGTH parts count)
    if(count EQUAL 2)
        list(APPEND parts 0)
    endif()
    list(TRANSFORM parts PREPEND "0x")
    list(JOIN parts ", " targets)
    string(APPEND expanded_rows "    {0x${from}, {${targets}}},\n")
endforeach()

read_property_ranges(DerivedCoreProperties.txt Cased cased_rows)
read_property_ranges(DerivedCoreProperties.txt Case_Ignorable case_ignorable_rows)
read_property_ranges(PropList.txt White_Space white_space_rows)

file(STRINGS "${UCD_DIR}/DerivedCoreProperties.txt" version_line LIMIT_COUNT 1)
string(REGEX REPLACE "^# *" "" version_line "${version_line}")

set(content "// Generated by cmake/GenerateUnicodeTables.cmake from ${version_line} and its companion
// files in ${UCD_DIR}. Do not edit.

inline constexpr LowerSingle k_lower_single[] = {
${single_rows}};

inline constexpr LowerExpanded k_lower_expanded[] = {
${expanded_rows}};

inline constexpr CodeRange k_cased[] = {
${cased_rows}};

inline constexpr CodeRange k_case_ignorable[] = {
${case_ignorable_rows}};

inline constexpr CodeRange k_white_space[] = {
${white_space_rows}};
")

# Write through a temporary file so that an interrupted run never leaves half a table behind.
file(WRITE "${OUTPUT}.tmp" "${content}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
