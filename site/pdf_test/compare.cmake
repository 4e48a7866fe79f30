# The browser's PDF against cairo's, page by page (cmake -P, from ctest):
# pdf_pages_sample writes a few prints' pages as operations and cairo's PDF,
# draw.mjs draws the operations with jsPDF, pdftoppm renders both at 100 dpi,
# and the two must have as many pages, of the same sizes, and look alike.
# Variables: SAMPLE NODE MODULES FONTS DRAW PDFTOPPM PDFINFO DIR.
foreach(var SAMPLE NODE MODULES FONTS DRAW PDFTOPPM PDFINFO DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "compare.cmake: ${var} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " line)
    message(FATAL_ERROR "${line}: ${status}\n${out}${err}")
  endif()
endfunction()

file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
run(${SAMPLE} write ${DIR})
set(failures "")
foreach(name one_page tiled_a4 fine_cells grid landscape)
  set(base ${DIR}/${name})
  set(grid -)
  if(EXISTS ${base}-grid.png)
    set(grid ${base}-grid.png)
  endif()
  run(${NODE} --disable-warning=MODULE_TYPELESS_PACKAGE_JSON ${DRAW} ${MODULES} ${FONTS} ${base}.json
      ${base}-print.png ${grid} ${base}-jspdf.pdf)
  foreach(drawn cairo jspdf)
    execute_process(COMMAND ${PDFINFO} -f 1 -l 9999 ${base}-${drawn}.pdf OUTPUT_FILE ${base}-${drawn}.txt
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "pdfinfo cannot read ${base}-${drawn}.pdf")
    endif()
    run(${PDFTOPPM} -r 100 -png ${base}-${drawn}.pdf ${base}-${drawn})
  endforeach()
  execute_process(COMMAND ${SAMPLE} pages ${base}-cairo.txt ${base}-jspdf.txt RESULT_VARIABLE status
                  OUTPUT_VARIABLE out)
  message(STATUS "${name}: ${out}")
  if(NOT status EQUAL 0)
    list(APPEND failures "${name}: ${out}")
    continue()
  endif()
  file(GLOB pages ${base}-cairo-*.png)
  foreach(page IN LISTS pages)
    string(REPLACE "-cairo-" "-jspdf-" other ${page})
    # Squares of 10 pixels (2.5 mm) within 16 levels on average, each pixel
    # against its nearest match a pixel either way: the antialiasing of text
    # and thin lines differs by up to 11 between the two, while a mark missing
    # (a 0.3 mm circle: 24 and more), an image 0.5 mm out of place (62), a
    # label without its white box or text a tenth too small (49 and more) fail.
    execute_process(COMMAND ${SAMPLE} compare ${page} ${other} 10 16 RESULT_VARIABLE status OUTPUT_VARIABLE out)
    message(STATUS "${out}")
    if(NOT status EQUAL 0)
      list(APPEND failures "${out}")
    endif()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "jsPDF's pages differ from cairo's:\n${failures}")
endif()
