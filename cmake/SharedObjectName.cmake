# corvane_shared_object_name(<variable> <library>): the file name under which the dynamic loader
# finds the shared library at <library> (its SONAME), for programs that open it with dlopen
# instead of linking it. Configuring fails when the file names none.
function(corvane_shared_object_name variable library)
  get_filename_component(resolved "${library}" REALPATH)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p "${resolved}" OUTPUT_VARIABLE headers
                  RESULT_VARIABLE status ERROR_QUIET)
  string(REGEX MATCH "SONAME +([^ \n]+)" found "${headers}")
  if(NOT status EQUAL 0 OR NOT found)
    message(FATAL_ERROR "${library} names no SONAME (${CMAKE_OBJDUMP} -p: ${status})")
  endif()
  set(${variable} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

# corvane_pkg_shared_object_name(<variable> <pkg-config prefix> <library name>): the same for the
# library of that name among what pkg_check_modules found (<prefix>_LINK_LIBRARIES).
function(corvane_pkg_shared_object_name variable prefix name)
  foreach(path ${${prefix}_LINK_LIBRARIES})
    get_filename_component(file "${path}" NAME)
    if(file MATCHES "^lib${name}\\.so")
      corvane_shared_object_name(soname "${path}")
      set(${variable} "${soname}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "no lib${name}.so among ${${prefix}_LINK_LIBRARIES}")
endfunction()
