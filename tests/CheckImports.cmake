# cmake -DOBJDUMP=<objdump> -DEXE=<tidora.exe> -P CheckImports.cmake
cmake_minimum_required(VERSION 3.20)
# The program runs elevated from wherever it was downloaded to: a DLL it
# imports at start is searched for in its own folder first, unless Windows
# keeps it among the KnownDLLs. So the import table may name only those;
# every other DLL, comctl32 too (whose own imports would otherwise be searched
# for beside the program), loads on first use from the system folder or
# through the manifest's redirection (system/Library).
set(allowed advapi32 gdi32 kernel32 msvcrt ole32 oleaut32 shell32 shlwapi user32)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed")
endif()
# Only the ordinary import tables: the delay-import ones come after them.
string(FIND "${dump}" "The Import Tables" start)
if(start LESS 0)
  message(FATAL_ERROR "${EXE} has no import table")
endif()
string(SUBSTRING "${dump}" ${start} -1 dump)
string(FIND "${dump}" "Delay Import" stop)
if(stop GREATER 0)
  string(SUBSTRING "${dump}" 0 ${stop} dump)
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${dump}")
set(bad)
foreach(line IN LISTS names)
  string(REGEX REPLACE "DLL Name: ([^.]+)\\.[dD][lL][lL]" "\\1" name "${line}")
  string(TOLOWER "${name}" name)
  message(STATUS "imports ${name}")
  if(NOT name IN_LIST allowed)
    list(APPEND bad ${name})
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "${EXE} imports DLLs that are no KnownDLLs at start: ${bad}")
endif()
