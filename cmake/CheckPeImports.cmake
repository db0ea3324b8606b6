# Fails unless FILE is a 32-bit Windows image (PE32, i386) that imports system DLLs only, i.e. runs
# on a bare Windows without mingw's runtime DLLs beside it.
#
#   cmake -DOBJDUMP=i686-w64-mingw32-objdump -DFILE=prog.exe -P cmake/CheckPeImports.cmake
#
# ALLOWED (optional) replaces the list of system DLLs, lower-case.
cmake_policy(VERSION 3.25)
if(NOT OBJDUMP OR NOT FILE)
  message(FATAL_ERROR "usage: cmake -DOBJDUMP=... -DFILE=... -P CheckPeImports.cmake")
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
