# Writes the CTest entries of one test area that runs as several entries (see tests/CMakeLists.txt),
# as the build's last step for that area: cmake -DEXE=<tst_area> -DSETTINGS=<file> -DOUT=<file> -P.
# SETTINGS sets AREA, SPLIT ("row", "function" or "class"), COST, TIMEOUT and ENVIRONMENT.
#
# The executable names its own classes (-classes) and, per class, its functions and rows (QTest's
# -datatags, "Class function [row]" a line), so whatever is compiled in is an entry, rows and
# functions added later included. If it cannot be listed, the whole area is one entry: nothing is
# ever left out.
cmake_minimum_required(VERSION 3.25)
include(${SETTINGS})

# The listing runs the test code's _data functions only; leaks at exit are no concern of it.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
set(ENV{QT_QPA_PLATFORM} "offscreen")
set(ENV{QT_LOGGING_RULES} "*=false")

# A row's name may hold any text: brackets and semicolons travel as other characters through the
# lists here, and come back in the file written.
string(ASCII 2 open)
string(ASCII 3 close)
string(ASCII 4 semicolon)
string(ASCII 31 field)

function(list_lines out)
  execute_process(COMMAND ${EXE} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE status ERROR_QUIET TIMEOUT 60)
  if(NOT status EQUAL 0)
    set(${out} "" PARENT_SCOPE)
    set(listed FALSE PARENT_SCOPE)
    return()
  endif()
  string(REPLACE ";" "${semicolon}" text "${text}")
  string(REPLACE "[" "${open}" text "${text}")
  string(REPLACE "]" "${close}" text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  list(FILTER text EXCLUDE REGEX "^$")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(listed TRUE)
list_lines(classes -classes)
if(NOT classes)
  set(listed FALSE)
endif()
list(LENGTH classes class_count)

set(entries "") # name, then the arguments, separated by ${field}; one element per entry
foreach(class IN LISTS classes)
  if(NOT class MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    set(listed FALSE)
    break()
  endif()
  set(prefix "${AREA}/")
  if(class_count GREATER 1)
    string(APPEND prefix "${class}::")
  endif()
  if(SPLIT STREQUAL "class")
    list(APPEND entries "${AREA}/${class}${field}-class${field}${class}")
    continue()
  endif()
  list_lines(lines -class ${class} -datatags)
  if(NOT listed)
    break()
  endif()
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^${class} ([A-Za-z_][A-Za-z0-9_]*)( (.*))?$")
      continue() # anything else the class printed
    endif()
    set(function "${CMAKE_MATCH_1}")
    set(row "${CMAKE_MATCH_3}")
    # Rows of a global data table are named with a second part; their function is one entry.
    if(SPLIT STREQUAL "row" AND NOT row STREQUAL "" AND NOT row MATCHES "__global__")
      list(APPEND entries "${prefix}${function}(${row})${field}-class${field}${class}${field}${function}:${row}")
    else()
      list(APPEND entries "${prefix}${function}${field}-class${field}${class}${field}${function}")
    endif()
  endforeach()
endforeach()

string(REPEAT "=" 4 level)
set(text "# Written by tests/testentries.cmake from ${EXE}; do not edit.\n")
if(NOT listed OR NOT entries)
  message(WARNING "${EXE} could not list its cases: the ${AREA} area runs as one CTest entry")
  set(entries "${AREA}")
endif()
function(decoded out text)
  string(REPLACE "${open}" "[" text "${text}")
  string(REPLACE "${close}" "]" text "${text}")
  string(REPLACE "${semicolon}" ";" text "${text}")
  set(${out} "[${level}[${text}]${level}]" PARENT_SCOPE)
endfunction()

set(seen "")
foreach(entry IN LISTS entries)
  string(REPLACE "${field}" ";" parts "${entry}")
  list(POP_FRONT parts name)
  if(name IN_LIST seen)
    continue()
  endif()
  list(APPEND seen "${name}")
  decoded(name "${name}")
  set(command "[${level}[${EXE}]${level}]")
  foreach(argument IN LISTS parts)
    decoded(argument "${argument}")
    string(APPEND command " ${argument}")
  endforeach()
  string(APPEND text
    "add_test(${name} ${command})\n"
    "set_tests_properties(${name} PROPERTIES LABELS [${level}[${AREA}]${level}]"
    " COST ${COST} TIMEOUT ${TIMEOUT} ENVIRONMENT [${level}[${ENVIRONMENT}]${level}])\n")
endforeach()
file(WRITE ${OUT} "${text}")
