# Fails unless FILE is a 32-bit Windows image (PE32, i386) that imports system DLLs only, i.e. runs
# on a bare Windows without mingw's runtime DLLs beside it, and, when EXPORTS is given, exports
# exactly those names, by name, at ordinals 1, 2, ... in that order.
#
#   cmake -DOBJDUMP=i686-w64-mingw32-objdump -DFILE=prog.exe -P cmake/CheckPeImage.cmake
#   cmake -DOBJDUMP=... -DFILE=x.dll "-DEXPORTS=First;Second" -P cmake/CheckPeImage.cmake
#
# ALLOWED (optional) replaces the list of system DLLs, lower-case.
cmake_policy(VERSION 3.25)
if(NOT OBJDUMP OR NOT FILE)
  message(FATAL_ERROR "usage: cmake -DOBJDUMP=... -DFILE=... [-DEXPORTS=...] -P CheckPeImage.cmake")
endif()
if(NOT DEFINED ALLOWED)
  set(ALLOWED advapi32.dll bcrypt.dll gdi32.dll kernel32.dll msvcrt.dll ntdll.dll ole32.dll
              oleaut32.dll shell32.dll shlwapi.dll user32.dll version.dll winmm.dll ws2_32.dll)
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${FILE}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${FILE} failed: ${err}")
endif()

if(NOT dump MATCHES "file format pei-i386")
  message(FATAL_ERROR "${FILE} is not a PE32 i386 image")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "${FILE} imports no DLL at all; objdump's output was not understood")
endif()
set(foreign "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  if(NOT lower IN_LIST ALLOWED AND NOT lower MATCHES "^api-ms-win-")
    list(APPEND foreign "${dll}")
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${FILE} imports DLLs that Windows does not ship: ${foreign}")
endif()

if(NOT DEFINED EXPORTS)
  return()
endif()
# "\t[   0] +base[   1] 1680 Export RVA" per exported address, and "\t[   0] Name" per name.
string(REGEX MATCHALL "\\+base\\[ *[0-9]+\\]" addresses "${dump}")
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([^\n]+\n)*)" table "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z_][A-Za-z0-9_@]*" names "${CMAKE_MATCH_1}")
list(LENGTH EXPORTS want)
list(LENGTH addresses count)
list(LENGTH names named)
if(NOT count EQUAL want OR NOT named EQUAL want)
  message(FATAL_ERROR "${FILE} exports ${count} addresses and ${named} names, not ${want}")
endif()
set(i 0)
foreach(name IN LISTS EXPORTS)
  math(EXPR ordinal "${i} + 1")
  list(GET addresses ${i} address)
  list(GET names ${i} entry)
  if(NOT address MATCHES "\\[ *${ordinal}\\]$" OR NOT entry MATCHES "\\[ *${i}\\] ${name}$")
    message(FATAL_ERROR "${FILE}: export ${ordinal} is not ${name} (${address}, ${entry})")
  endif()
  math(EXPR i "${i} + 1")
endforeach()
