# cmake -DCHECK=header_check.cmake -DWORK=folder -DCOMPILER=c++ -DSTD=-std=c++20 -DROOT=project
#       -DALLOWED=... -DREFUSED=... -P header_check_test.cmake: the check must
# refuse a source that reads a header of a layer outside ALLOWED (through one
# allowed header, as the pipeline would) and one that reads libpng's, each
# naming what it read, and accept one that reads only allowed headers.
file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/layer.cpp "#include \"core/geometry.h\"\n#include \"formats/ppm.h\"\n")
file(WRITE ${WORK}/library.cpp "#include <png.h>\n")
file(WRITE ${WORK}/accepted.cpp "#include <vector>\n#include \"core/geometry.h\"\n")
foreach(case layer library accepted)
  execute_process(COMMAND ${CMAKE_COMMAND} -DCOMPILER=${COMPILER} -DSTD=${STD} -DROOT=${ROOT} -DSOURCE_DIR=${WORK}
                          -DSOURCES=${case}.cpp -DINCLUDES=${ROOT} "-DALLOWED=${ALLOWED}" "-DREFUSED=${REFUSED}"
                          -P ${CHECK}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(case STREQUAL "accepted")
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "a source reading only allowed headers was refused:\n${err}")
    endif()
    continue()
  endif()
  if(status EQUAL 0)
    message(FATAL_ERROR "${case}.cpp was accepted")
  endif()
  if(case STREQUAL "layer")
    set(expected "${WORK}/layer.cpp: reads formats/ppm.h")
  else()
    set(expected "${WORK}/library.cpp: reads ")
  endif()
  string(FIND "${err}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the refusal of ${case}.cpp does not name what it read:\n${err}")
  endif()
  if(case STREQUAL "library" AND NOT err MATCHES "png\\.h")
    message(FATAL_ERROR "the refusal of library.cpp does not name png.h:\n${err}")
  endif()
endforeach()
