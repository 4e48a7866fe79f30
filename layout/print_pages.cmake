# The print's pages as drawing operations and their JSON, from the scene and
# its print (print_pages): just above the pipeline, with nothing the browser's
# module cannot link, in a file of its own so that a build without cairo (the
# WebAssembly module's) can include it alone.
add_library(print_pages STATIC ${CMAKE_CURRENT_LIST_DIR}/print_pages.cpp ${CMAKE_CURRENT_LIST_DIR}/print_content.cpp)
target_link_libraries(print_pages PUBLIC pipeline picture_memory nlohmann_json::nlohmann_json)
if(COMMAND anamorfosi_warnings)
  anamorfosi_warnings(print_pages)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/../pipeline/link_check.cmake)
anamorfosi_forbid_links(print_pages CLI11::CLI11 PkgConfig::HTTPLIB PkgConfig::CAIRO assimp::assimp PkgConfig::MINIZIP
                        PNG::PNG JPEG::JPEG PkgConfig::LIBEXIF ZLIB::ZLIB picture formats programs meshes layout
                        cilindro_lib cono_lib specchio_lib generico_lib anamorfosi_lib anamorfosi_web)
