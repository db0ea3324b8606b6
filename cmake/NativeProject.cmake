# corvane_native_project(<name> <source dir> <program> [ARGS -D<var>=<value>...]): builds the
# small CMake project in <source dir> with the build machine's own compiler, for the programs that
# a cross build runs on the build machine rather than under its emulator (generators, checks that
# call the build machine's tools). Sets <name>_PROGRAM in the caller's scope to the program's path;
# the project is rebuilt whenever the build runs, which costs nothing when it is up to date.
include(ExternalProject)

function(corvane_native_project name dir program)
  cmake_parse_arguments(N "" "" "ARGS" ${ARGN})
  set(bin ${CMAKE_CURRENT_BINARY_DIR}/${name})
  ExternalProject_Add(${name}
    SOURCE_DIR ${dir}
    BINARY_DIR ${bin}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR} ${N_ARGS}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${bin}/${program}
    INSTALL_COMMAND "")
  set(${name}_PROGRAM ${bin}/${program} PARENT_SCOPE)
endfunction()
