# Writes the sources a build compiles, as its compile_commands.json lists
# them, so that the static checks read whatever the build reads and a new
# folder needs no list edited. Each file once, sorted, relative to SOURCE;
# files the build itself generates are left out.
#
#   cmake -DSOURCE=<tree> -DBUILD=<build> -DOUTPUT=<file> [-DWITH_HEADERS=ON] [-DINCLUDES=<file>]
#         -P compiled_sources.cmake
#
# WITH_HEADERS adds the headers beside each source and in each folder of the
# tree the build includes from (-I). INCLUDES, when given, receives those
# folders.
cmake_minimum_required(VERSION 3.19) # string(JSON)
get_filename_component(source "${SOURCE}" REALPATH)
get_filename_component(build "${BUILD}" REALPATH)
if(NOT EXISTS "${build}/compile_commands.json")
  message(FATAL_ERROR "${build} has no compile_commands.json: configure it with a Makefile or Ninja generator "
                      "and CMAKE_EXPORT_COMPILE_COMMANDS ON")
endif()
file(READ "${build}/compile_commands.json" commands)

# Whether `path` is in the tree and not in the build: compared as text, so
# that no character of either folder's name counts as a pattern.
function(in_tree path result)
  string(FIND "${path}/" "${source}/" in_source)
  string(FIND "${path}/" "${build}/" in_build)
  if(in_source EQUAL 0 AND NOT in_build EQUAL 0)
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

string(JSON count LENGTH "${commands}")
math(EXPR last "${count} - 1")
set(files)
set(folders)
set(includes)
foreach(i RANGE ${last})
  string(JSON entry GET "${commands}" ${i})
  string(JSON file GET "${entry}" file)
  get_filename_component(file "${file}" REALPATH)
  in_tree("${file}" ours)
  if(NOT ours)
    continue()
  endif()
  file(RELATIVE_PATH relative "${source}" "${file}")
  list(APPEND files "${relative}")
  get_filename_component(folder "${file}" DIRECTORY)
  list(APPEND folders "${folder}")
  string(JSON command GET "${entry}" command)
  string(REGEX MATCHALL "-I[^ ]+" flags "${command}")
  foreach(flag ${flags})
    string(SUBSTRING "${flag}" 2 -1 folder)
    in_tree("${folder}" ours)
    if(ours)
      list(APPEND folders "${folder}")
      file(RELATIVE_PATH folder "${source}" "${folder}")
      if(folder STREQUAL "")
        set(folder ".") # the tree itself, where includes name their folder
      endif()
      list(APPEND includes "${folder}")
    endif()
  endforeach()
endforeach()
if(WITH_HEADERS)
  list(REMOVE_DUPLICATES folders)
  foreach(folder ${folders})
    file(GLOB headers RELATIVE "${source}" "${folder}/*.h")
    list(APPEND files ${headers})
  endforeach()
endif()
list(REMOVE_DUPLICATES files)
list(SORT files)
list(JOIN files "\n" text)
file(WRITE "${OUTPUT}" "${text}\n")
if(INCLUDES)
  list(REMOVE_DUPLICATES includes)
  list(SORT includes)
  list(JOIN includes "\n" text)
  file(WRITE "${INCLUDES}" "${text}\n")
endif()
