# Delay-load import libraries for system DLLs the program does not need before
# its window is painted. Loading and initialising a DLL costs milliseconds under
# Wine and on a cold Windows start: with these, a DLL is loaded at the first
# call into it (WinHTTP, the file dialogs), not before WinMain.
#
# The toolchain ships no .def files, so each one is made from the ordinary
# import library's symbols: "__imp__Name@N" becomes the export "Name@N", and
# dlltool -k writes the undecorated name the DLL exports.
#
# GNU ld drops an import member's code when nothing names its stub symbol, and
# a call through a dllimport declaration names only "__imp_": the delay thunk
# would be dropped and the call would jump to address 0. So every export is
# named with -u, which costs some 40 bytes per export: keep these lists to DLLs
# with few exports.
#
#   tidora_delay_imports(<target> <dll>...)
# links <target> and everything linking it against delay-load libraries.
function(tidora_delay_imports TARGET)
  set(dir ${CMAKE_BINARY_DIR}/delayimp)
  # i686 symbols carry a leading underscore; x86_64 ones do not.
  set(prefix "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(prefix "_")
  endif()
  file(MAKE_DIRECTORY ${dir})
  set(libs)
  set(keep)
  foreach(dll IN LISTS ARGN)
    set(out ${dir}/lib${dll}_delay.a)
    find_library(TIDORA_IMPORT_${dll} NAMES lib${dll}.a NO_CACHE REQUIRED)
    set(implib ${TIDORA_IMPORT_${dll}})
    if(NOT EXISTS ${out} OR ${implib} IS_NEWER_THAN ${out})
      execute_process(COMMAND ${CMAKE_NM} ${implib} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${CMAKE_NM} failed on ${implib}")
      endif()
      string(REGEX MATCHALL "[ \t]I __imp_[^\r\n]+" imports "${symbols}")
      set(exports)
      foreach(line IN LISTS imports)
        string(REGEX REPLACE "^[ \t]I __imp_${prefix}" "" name "${line}")
        list(APPEND exports "${name}")
      endforeach()
      list(REMOVE_DUPLICATES exports)
      list(JOIN exports "\n" body)
      file(WRITE ${dir}/${dll}.def "LIBRARY ${dll}.dll\nEXPORTS\n${body}\n")
      execute_process(COMMAND ${CMAKE_DLLTOOL} -k -d ${dir}/${dll}.def -y ${out} -D ${dll}.dll
        RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${CMAKE_DLLTOOL} could not make ${out}")
      endif()
    endif()
    file(STRINGS ${dir}/${dll}.def exports REGEX "^[^ ]+$")
    list(FILTER exports EXCLUDE REGEX "^(LIBRARY|EXPORTS)$")
    list(TRANSFORM exports PREPEND "-u ${prefix}")
    list(APPEND keep ${exports})
    list(APPEND libs ${out})
  endforeach()
  list(JOIN keep "\n" keep)
  file(WRITE ${dir}/keep.rsp "${keep}\n")
  target_link_libraries(${TARGET} PUBLIC ${libs})
  target_link_options(${TARGET} INTERFACE "LINKER:@${dir}/keep.rsp")
endfunction()
