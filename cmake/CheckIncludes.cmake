# Fails when an #include "..." in a source folder points up a layer. Each
# folder may include only the folders of its row in docs/architecture.md
# ("Layers and who may include whom"); keep the two in step.
#   cmake -DSOURCE_DIR=<source root> -P cmake/CheckIncludes.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

# The generated build-identity header (portprobe_build.h) counts as the
# build's own and is open to every layer above the class library.
set(may_include_platform platform)
set(may_include_classlib classlib platform)
set(may_include_support support platform portprobe_build.h)
set(may_include_usbio usbio support platform portprobe_build.h)
set(may_include_forms forms support platform portprobe_build.h)
set(may_include_cli cli usbio support platform portprobe_build.h)
set(may_include_python python cli usbio support platform portprobe_build.h)
set(may_include_drivers drivers platform)
# app/ may include everything above it, so it is not checked.
set(layers platform classlib support usbio forms cli python drivers)

set(violations "")
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.hpp ${SOURCE_DIR}/${layer}/*.cpp
    ${SOURCE_DIR}/${layer}/*.c ${SOURCE_DIR}/${layer}/*.inc)
  foreach(source IN LISTS sources)
    file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" target "${line}")
      get_filename_component(here ${SOURCE_DIR}/${source} DIRECTORY)
      if(target MATCHES "^([^/]+)/")
        set(reached ${CMAKE_MATCH_1})
      elseif(EXISTS ${here}/${target})
        set(reached ${layer}) # beside the includer: the same layer
      else()
        set(reached ${target})
      endif()
      if(NOT reached IN_LIST may_include_${layer})
        list(JOIN may_include_${layer} ", " allowed)
        string(APPEND violations "  ${source}: #include \"${target}\" (${layer}/ may include ${allowed})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes that point up a layer (docs/architecture.md):\n${violations}")
endif()
message(STATUS "Every include points to the same layer or below.")
