# Writes OUT, a C++ source holding the site's files (FILES, a ;-list) for
# page_files.h. Each file is taken by the assembler (.incbin), which reads a
# few MB at once where an array written out in hex would take the compiler
# seconds and hundreds of MB; the files' SHA-256 are written in the source so
# that a changed file gives a new source (ccache sees only the source).
set(body "#include \"web/page_files.h\"\n\nnamespace anamorfosi {\n\n")
set(table "")
set(i 0)
foreach(f ${FILES})
  file(SHA256 ${f} sum)
  get_filename_component(name ${f} NAME)
  get_filename_component(ext ${f} LAST_EXT)
  if(ext STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(ext STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(ext STREQUAL ".js")
    # Not text/javascript: cpp-httplib compresses every text/* answer as it
    # sends it, with brotli at its slowest, seconds of the processor for each
    # of the megabytes of scripts at every page load; an application/ type
    # with a charset it leaves as it is.
    set(type "application/javascript; charset=utf-8")
  else()
    set(type "application/octet-stream")
  endif()
  string(SUBSTRING ${sum} 0 16 tag)
  string(APPEND body "// ${name}: sha256 ${sum}\n"
         "asm(\".section .rodata\\n.balign 16\\nanamorfosi_site_${i}:\\n.incbin \\\"${f}\\\"\\n"
         "anamorfosi_site_${i}_end:\\n.byte 0\\n.previous\\n\");\n"
         "extern \"C\" const unsigned char anamorfosi_site_${i}[], anamorfosi_site_${i}_end[];\n")
  string(APPEND table "      {\"${name}\", \"${type}\", anamorfosi_site_${i}, "
         "static_cast<std::size_t>(anamorfosi_site_${i}_end - anamorfosi_site_${i}), \"\\\"${tag}\\\"\"},\n")
  math(EXPR i "${i} + 1")
endforeach()
string(APPEND body "\nconst std::vector<PageFile>& PageFiles() {\n  static const std::vector<PageFile> files = {\n${table}  };\n"
       "  return files;\n}\n\n}  // namespace anamorfosi\n")
file(WRITE ${OUT}.part "${body}")
file(RENAME ${OUT}.part ${OUT})
