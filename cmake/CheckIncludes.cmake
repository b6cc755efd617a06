# Fails when an #include breaks a rule of docs/architecture.md ("Layers and who
# may include whom"). The lists below are the map's table and the rules under
# it, one for one; keep the two in step.
#   cmake -DSOURCE_DIR=<source root> -P cmake/CheckIncludes.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

# Who may include whom ("May include"). The generated build-identity header
# (portprobe_build.h) counts as the build's own and is open to every layer above
# the class library.
set(may_include_platform platform)
set(may_include_classlib classlib platform)
set(may_include_support support platform portprobe_build.h)
set(may_include_usbio usbio support platform portprobe_build.h)
set(may_include_forms forms support platform portprobe_build.h)
set(may_include_cli cli usbio support platform portprobe_build.h)
set(may_include_python python cli usbio support platform portprobe_build.h)
set(may_include_drivers drivers platform)
set(may_include_app app forms usbio support platform portprobe_build.h)
set(layers platform classlib support usbio forms cli python drivers app)

# Folders that never include Qt ("Qt" column), and the one place inside them
# that is the window system's side.
set(qt_free platform classlib support usbio cli python drivers)
set(qt_side platform/qt/)

# The kernel-mode driver is plain C with no run time: of the project it sees
# only its own folder and the board's description.
set(kernel_may_include platform/emulation/usbio_board.h)

# Folders where project headers must be included with quotes: the layers and
# the code that builds against them.
set(quoted_folders ${layers} tests bench fuzz examples)

# Records one broken rule.
function(violation source include why)
  set_property(GLOBAL APPEND_STRING PROPERTY include_violations
               "  ${source}: #include ${include} (${why})\n")
endfunction()

# The folder a quoted include of @p source reaches: its first path part, the
# includer's own layer for a name beside it, else the name (portprobe_build.h).
function(reached_folder source layer target out)
  get_filename_component(here ${SOURCE_DIR}/${source} DIRECTORY)
  if(target MATCHES "^([^/]+)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  elseif(EXISTS ${here}/${target})
    set(${out} ${layer} PARENT_SCOPE)
  else()
    set(${out} ${target} PARENT_SCOPE)
  endif()
endfunction()

# Rule: every include points to the same layer or below, so each layer builds
# and tests without the ones above it.
function(check_layer source layer target)
  reached_folder(${source} ${layer} "${target}" reached)
  if(NOT reached IN_LIST may_include_${layer})
    list(JOIN may_include_${layer} ", " allowed)
    violation(${source} "\"${target}\"" "${layer}/ may include ${allowed}")
  endif()
endfunction()

# Rule: a contract (a header or source at the top of platform/) includes only
# contracts and seam.h, so that a service's user never pulls in a backend.
function(check_contract source target)
  if(NOT source MATCHES "^platform/[^/]+$")
    return()
  endif()
  if(target MATCHES "^platform/[^/]+$"
     OR (NOT target MATCHES "/" AND EXISTS ${SOURCE_DIR}/platform/${target})) # a name beside it
    return()
  endif()
  violation(${source} "\"${target}\"" "a contract includes only contracts and platform/seam.h")
endfunction()

# Rule: the kernel-mode driver (drivers/**/*.c) includes of the project only its
# own folder and the board's description: nothing else builds without a run time.
function(check_kernel source target)
  if(NOT source MATCHES "^drivers/.*\\.c$" OR target IN_LIST kernel_may_include
     OR target MATCHES "^drivers/" OR NOT target MATCHES "/") # a name beside it
    return()
  endif()
  list(JOIN kernel_may_include ", " allowed)
  violation(${source} "\"${target}\"" "kernel-mode code may include only drivers/ and ${allowed}")
endfunction()

# Rule: the Qt-free folders include no Qt header, so portprobe-io, the Python
# module and the Windows core build and ship without Qt.
function(check_qt source layer target)
  if(NOT layer IN_LIST qt_free OR source MATCHES "^${qt_side}"
     OR NOT target MATCHES "^Q[A-Za-z0-9]*(/|$)")
    return()
  endif()
  violation(${source} "<${target}>" "${layer}/ is Qt-free")
endfunction()

# Rule: project headers are included with quotes, so that they are found beside
# the sources and never mistaken for (or shadowed by) a system header.
function(check_quotes source target project_names)
  string(REGEX REPLACE "/.*$" "" first "${target}")
  if(first IN_LIST project_names)
    violation(${source} "<${target}>" "project headers are included with quotes")
  endif()
endfunction()

# The project's own top-level folders (no hidden ones, no build trees) and
# portprobe_build.h: what an angle-bracket include must not name.
function(project_names out)
  file(GLOB entries RELATIVE ${SOURCE_DIR} LIST_DIRECTORIES true ${SOURCE_DIR}/*)
  set(names portprobe_build.h)
  foreach(entry IN LISTS entries)
    file(GLOB caches ${SOURCE_DIR}/${entry}/CMakeCache.txt ${SOURCE_DIR}/${entry}/*/CMakeCache.txt)
    if(IS_DIRECTORY ${SOURCE_DIR}/${entry} AND NOT entry MATCHES "^\\." AND NOT caches)
      list(APPEND names ${entry})
    endif()
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# Checks every include of the C and C++ sources under @p folder.
function(check_folder folder project_names)
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.hpp ${SOURCE_DIR}/${folder}/*.cpp
    ${SOURCE_DIR}/${folder}/*.c ${SOURCE_DIR}/${folder}/*.inc)
  foreach(source IN LISTS sources)
    file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS lines)
      if(line MATCHES "include[ \t]*\"([^\"]*)\"")
        set(target ${CMAKE_MATCH_1})
        if(folder IN_LIST layers)
          check_layer(${source} ${folder} "${target}")
          check_contract(${source} "${target}")
          check_kernel(${source} "${target}")
        endif()
      elseif(line MATCHES "include[ \t]*<([^>]*)>")
        set(target ${CMAKE_MATCH_1})
        check_qt(${source} ${folder} "${target}")
        check_quotes(${source} "${target}" "${project_names}")
      endif()
    endforeach()
  endforeach()
endfunction()

project_names(names)
foreach(folder IN LISTS quoted_folders)
  check_folder(${folder} "${names}")
endforeach()

get_property(violations GLOBAL PROPERTY include_violations)
if(violations)
  message(FATAL_ERROR "Includes that break the layer rules (docs/architecture.md):\n${violations}")
endif()
message(STATUS "Every include keeps the layer rules.")
