# Run by cpack once the files are staged, before the DEB generator calls
# dpkg-shlibdeps on every program and library in the package.
#
# The LibreOffice module links the office's UNO libraries, but the programs
# load it only for an export, and without the office that export says 429
# while everything else works. So the libraries only the module needs must
# not become Depends: dpkg-shlibdeps reads debian/shlibs.local in the staging
# directory, where the generator runs it, and a line there without a
# dependency drops that library. The generator removes debian/ before it
# packs. The office libraries are recommended instead, with the versions
# dpkg-shlibdeps gives for the module.
cmake_policy(VERSION 3.25)
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
find_program(READELF readelf REQUIRED)
find_program(SHLIBDEPS dpkg-shlibdeps REQUIRED)
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
file(GLOB_RECURSE modules "${stage}/*/veltrano-libreoffice.so")
file(GLOB programs "${stage}/*/bin/*")
if(NOT modules OR NOT programs)
  message(FATAL_ERROR "office_module_shlibs: no LibreOffice module or no program staged in ${stage}")
endif()

function(needed_libraries out)
  set(all)
  foreach(file IN LISTS ARGN)
    execute_process(COMMAND "${READELF}" -d "${file}" OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" entries "${dynamic}")
    list(TRANSFORM entries REPLACE "Shared library: \\[([^]]+)\\]" "\\1")
    list(APPEND all ${entries})
  endforeach()
  list(REMOVE_DUPLICATES all)
  set(${out} ${all} PARENT_SCOPE)
endfunction()

needed_libraries(program_libraries ${programs})
needed_libraries(module_only ${modules})
list(REMOVE_ITEM module_only ${program_libraries})

# shlibs names a library by name and version: libuno_sal.so.3 is
# "libuno_sal 3", libfoo-1.2.so is "libfoo 1.2".
set(local_shlibs "")
foreach(soname IN LISTS module_only)
  if(soname MATCHES "^(.+)\\.so\\.([0-9.]+)$")
    string(APPEND local_shlibs "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}\n")
  elseif(soname MATCHES "^(.+)-([0-9.]+)\\.so$")
    string(APPEND local_shlibs "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}\n")
  else()
    message(FATAL_ERROR "office_module_shlibs: ${soname} has no shlibs form")
  endif()
endforeach()

# As the generator does: an empty control file, and DEBIAN/ beside it so
# that dpkg-shlibdeps knows the staging directory for the package's root.
file(WRITE "${stage}/debian/control" "")
file(MAKE_DIRECTORY "${stage}/DEBIAN")
# The module's libraries as Recommends, less what the programs depend on
# anyway; without shlibs.local (-L/dev/null) for this one run.
execute_process(COMMAND "${SHLIBDEPS}" -O -L/dev/null -dDepends ${programs} -dRecommends ${modules}
                WORKING_DIRECTORY "${stage}" OUTPUT_VARIABLE computed COMMAND_ERROR_IS_FATAL ANY)
file(WRITE "${stage}/debian/shlibs.local" "${local_shlibs}")
if(NOT computed MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "office_module_shlibs: dpkg-shlibdeps gave no Depends for the programs:\n${computed}")
endif()
string(REGEX MATCHALL "(^|, )[^ ,]+" depended "${CMAKE_MATCH_1}")
list(TRANSFORM depended REPLACE "^, " "")
if(NOT computed MATCHES "shlibs:Recommends=([^\n]+)")
  message(FATAL_ERROR "office_module_shlibs: dpkg-shlibdeps gave no Recommends for the module:\n${computed}")
endif()
string(REPLACE ", " ";" recommended "${CMAKE_MATCH_1}")
foreach(entry IN LISTS recommended)
  string(REGEX REPLACE " .*" "" package "${entry}")
  if(NOT package IN_LIST depended)
    string(APPEND CPACK_DEBIAN_PACKAGE_RECOMMENDS ", ${entry}")
  endif()
endforeach()
