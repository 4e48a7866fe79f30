# cmake -DCOMPILER=c++ -DSTD=-std=c++20 -DROOT=project -DSOURCE_DIR=folder
#       -DSOURCES=a|b -DINCLUDES=x|y -DDEFINES=d|e -DALLOWED=core/|picture/picture.h|...
#       -DREFUSED=regex -P header_check.cmake
#
# Runs the preprocessor alone on each source, with the include folders and
# definitions its library is compiled with, and fails naming the source and
# the header when it reads, however deep:
# - a header of the project outside ALLOWED (folders ending in "/" or single
#   headers, relative to ROOT): a layer the library must not depend on;
# - a header outside the project whose path matches REFUSED (libpng, libjpeg,
#   libexif, ...): those libraries' headers sit in the system's own folder,
#   so only the headers read show that a library is not needed.
# It also fails when an include folder of the library matches REFUSED.
# Lists come joined by "|", as a test's command line cannot carry ";".
foreach(list SOURCES INCLUDES DEFINES ALLOWED)
  string(REPLACE "|" ";" ${list} "${${list}}")
endforeach()
if(NOT SOURCES)
  message(FATAL_ERROR "no source to check")
endif()

set(flags ${STD})
foreach(dir IN LISTS INCLUDES)
  if(dir MATCHES "${REFUSED}")
    message(FATAL_ERROR "include folder ${dir} is a refused library's")
  endif()
  list(APPEND flags "-I${dir}")
endforeach()
foreach(def IN LISTS DEFINES)
  list(APPEND flags "-D${def}")
endforeach()

set(failures "")
set(headers_seen 0)
foreach(source IN LISTS SOURCES)
  if(NOT IS_ABSOLUTE "${source}")
    set(source "${SOURCE_DIR}/${source}")
  endif()
  execute_process(COMMAND ${COMPILER} ${flags} -M "${source}" RESULT_VARIABLE status OUTPUT_VARIABLE deps
                  ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${source} does not preprocess:\n${err}")
  endif()
  # "object: source header header \<newline> header ...": the rule's target
  # and the source itself are dropped, the rest are the headers read.
  string(REPLACE "\\\n" " " deps "${deps}")
  string(REGEX REPLACE "^[^:]*:[ \t]*[^ \t\n]+" "" deps "${deps}")
  string(REGEX REPLACE "[ \t\n]+" ";" deps "${deps}")
  foreach(header IN LISTS deps)
    if(header STREQUAL "")
      continue()
    endif()
    math(EXPR headers_seen "${headers_seen} + 1")
    get_filename_component(header "${header}" ABSOLUTE)
    file(RELATIVE_PATH relative "${ROOT}" "${header}")
    if(NOT relative MATCHES "^\\.\\./")
      set(allowed FALSE)
      foreach(place IN LISTS ALLOWED)
        string(LENGTH "${place}" length)
        string(SUBSTRING "${relative}" 0 ${length} start)
        if((place MATCHES "/$" AND start STREQUAL place) OR relative STREQUAL place)
          set(allowed TRUE)
        endif()
      endforeach()
      if(NOT allowed)
        string(APPEND failures "\n  ${source}: reads ${relative}")
      endif()
    elseif(header MATCHES "${REFUSED}")
      string(APPEND failures "\n  ${source}: reads ${header}")
    endif()
  endforeach()
endforeach()
# A preprocessor that listed nothing would pass everything.
if(headers_seen EQUAL 0)
  message(FATAL_ERROR "the preprocessor listed no header")
endif()
if(failures)
  message(FATAL_ERROR "headers outside what the library may read:${failures}")
endif()
