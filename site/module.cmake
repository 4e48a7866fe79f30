# Included by site/CMakeLists.txt: the engine compiled to WebAssembly, the
# site built from it, and their tests. A return() here ends this file only.
# The engine as a WebAssembly module (site/module), built by emscripten from
# the sources of the pipeline and of every library of this project it links,
# as the native build lists them here, so that the two compile the same code.
find_program(ANAMORFOSI_EMCMAKE emcmake)
find_program(ANAMORFOSI_EMXX em++)
if(NOT ANAMORFOSI_EMCMAKE OR NOT ANAMORFOSI_EMXX)
  message(STATUS "site: emscripten (emcmake, em++) not found, the browser page is not built")
  return()
endif()

# The header libraries' imported targets are seen only where they were
# found: found again here, for their folders.
find_package(nlohmann_json 3 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)
set(engine_sources "")
set(engine_includes "")
set(pending pipeline)
set(seen "")
while(pending)
  list(POP_FRONT pending target)
  if(target IN_LIST seen OR NOT TARGET ${target})
    continue()
  endif()
  list(APPEND seen ${target})
  get_target_property(imported ${target} IMPORTED)
  if(imported)
    # A header library (the JSON and stb): its folders, each on its own below.
    get_target_property(folders ${target} INTERFACE_INCLUDE_DIRECTORIES)
    if(folders)
      list(APPEND engine_includes ${folders})
    endif()
  else()
    get_target_property(sources ${target} SOURCES)
    get_target_property(folder ${target} SOURCE_DIR)
    foreach(source IN LISTS sources)
      if(source MATCHES "\\.cpp$")
        if(NOT IS_ABSOLUTE ${source})
          set(source ${folder}/${source})
        endif()
        list(APPEND engine_sources ${source})
      endif()
    endforeach()
  endif()
  get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
  if(links)
    list(APPEND pending ${links})
  endif()
endwhile()
# The system's header folder holds every library's headers: each library gets
# a folder of its own holding only its headers (nlohmann/), never the whole.
set(ENGINE_HEADERS ${CMAKE_CURRENT_BINARY_DIR}/module_headers)
set(engine_folders "")
list(REMOVE_DUPLICATES engine_includes)
foreach(folder IN LISTS engine_includes)
  if(folder STREQUAL "/usr/include")
    file(MAKE_DIRECTORY ${ENGINE_HEADERS})
    file(CREATE_LINK /usr/include/nlohmann ${ENGINE_HEADERS}/nlohmann SYMBOLIC)
    list(APPEND engine_folders ${ENGINE_HEADERS})
  else()
    list(APPEND engine_folders ${folder})
  endif()
endforeach()
list(REMOVE_DUPLICATES engine_folders)
set(ENGINE_SOURCES_FILE ${CMAKE_CURRENT_BINARY_DIR}/engine_sources.cmake)
file(CONFIGURE OUTPUT ${ENGINE_SOURCES_FILE}
     CONTENT "set(ENGINE_ROOT [[${PROJECT_SOURCE_DIR}]])\nset(ENGINE_SOURCES [[${engine_sources}]])\nset(ENGINE_INCLUDES [[${engine_folders}]])\n")

# A module already built by another tree of the same sources (the module does
# not depend on this tree's Real or sanitizers: it has its own flags) may be
# given instead of building it again: -DANAMORFOSI_SITE_ENGINE=.../engine.js.
set(ANAMORFOSI_SITE_ENGINE "" CACHE FILEPATH "a module built by another tree of the same sources, used instead of building it")
if(ANAMORFOSI_SITE_ENGINE)
  if(NOT EXISTS ${ANAMORFOSI_SITE_ENGINE})
    message(FATAL_ERROR "ANAMORFOSI_SITE_ENGINE: ${ANAMORFOSI_SITE_ENGINE} does not exist")
  endif()
  set(ENGINE_JS ${ANAMORFOSI_SITE_ENGINE})
  add_custom_target(site_engine)
else()
  include(ExternalProject)
  set(ENGINE_BUILD ${CMAKE_CURRENT_BINARY_DIR}/module)
  set(ENGINE_JS ${ENGINE_BUILD}/engine.js)
  # emcc's own scripts run under node and find their packages in NODE_PATH.
  set(ENGINE_ENV ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
  ExternalProject_Add(site_engine
    SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/module
    BINARY_DIR ${ENGINE_BUILD}
    CONFIGURE_COMMAND ${ENGINE_ENV} ${ANAMORFOSI_EMCMAKE} ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_SOURCE_DIR}/module
                      -B ${ENGINE_BUILD} -G ${CMAKE_GENERATOR} -DCMAKE_BUILD_TYPE=Release
                      -DENGINE_SOURCES_FILE=${ENGINE_SOURCES_FILE}
    BUILD_COMMAND ${ENGINE_ENV} ${CMAKE_COMMAND} --build ${ENGINE_BUILD}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${ENGINE_JS}
    USES_TERMINAL_BUILD ON)
endif()
set(SITE_ENGINE_JS ${ENGINE_JS} CACHE INTERNAL "the engine's single-file module")

# The site: build/site/www, a folder to open (index.html) or to copy to any
# static host; its script bundled by esbuild with the worker's code and the
# test card inside it (site/build.mjs).
set(SITE_OUT ${CMAKE_CURRENT_BINARY_DIR}/www)
file(GLOB SITE_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.mjs ${CMAKE_CURRENT_SOURCE_DIR}/src/*.js
     ${CMAKE_CURRENT_SOURCE_DIR}/page/*)
set(SITE_FILES ${SITE_OUT}/index.html ${SITE_OUT}/style.css ${SITE_OUT}/app.js ${SITE_OUT}/pdf_fonts.js ${SITE_OUT}/mesh.js)
add_custom_command(
  OUTPUT ${SITE_FILES}
  COMMAND ${ANAMORFOSI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/build.mjs ${ENGINE_JS} ${SITE_NODE_MODULES}
          ${PROJECT_SOURCE_DIR}/examples/cartello.ppm ${SITE_PDF_FONTS} ${SITE_OUT}
  DEPENDS ${ENGINE_JS} site_engine ${SITE_PACKAGES_STAMP} ${SITE_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/build.mjs
          ${SITE_PDF_FONTS} site_pdf_fonts
          ${PROJECT_SOURCE_DIR}/examples/cartello.ppm
  COMMENT "site: the page bundled into ${SITE_OUT}"
  VERBATIM)
add_custom_target(site ALL DEPENDS ${SITE_FILES})
# `anamorfosi serve` (web/) compiles these in.
set_property(GLOBAL PROPERTY ANAMORFOSI_SITE_FILES ${SITE_FILES})

if(ANAMORFOSI_TESTS)
  # The module under node against the native command (site/tests/engine_test.mjs):
  # byte for byte when this tree computes in double too, within the tolerance
  # the test documents against long double.
  if(ANAMORFOSI_REAL_DOUBLE)
    set(engine_compare exact)
  else()
    set(engine_compare long-double)
  endif()
  add_test(NAME site_engine
           COMMAND ${ANAMORFOSI_NODE} --no-experimental-fetch ${CMAKE_CURRENT_SOURCE_DIR}/tests/engine_test.mjs
                   ${ENGINE_JS} $<TARGET_FILE:anamorfosi> ${PROJECT_SOURCE_DIR}/examples
                   ${CMAKE_CURRENT_BINARY_DIR}/engine_test ${SITE_NODE_MODULES} ${engine_compare}
                   $<TARGET_FILE:kinds_json>)

  # The module's calls for the live preview, the download's progress and the moved eye.
  add_test(NAME site_preview_engine
           COMMAND ${ANAMORFOSI_NODE} --no-experimental-fetch ${CMAKE_CURRENT_SOURCE_DIR}/tests/preview_engine_test.mjs
                   ${ENGINE_JS} ${PROJECT_SOURCE_DIR}/examples)

  # The grid to draw by hand: the module's layout, the page's size rule, and a grid's print.
  add_test(NAME site_grid_engine
           COMMAND ${ANAMORFOSI_NODE} --no-experimental-fetch ${CMAKE_CURRENT_SOURCE_DIR}/tests/grid_engine_test.mjs
                   ${ENGINE_JS})

  # A camera-like photo (12 megapixels, turned by its EXIF tag) for the page's test.
  add_executable(site_photo tests/make_photo.cpp)
  target_link_libraries(site_photo PRIVATE picture_samples)
  anamorfosi_warnings(site_photo)

  # The site in headless Chromium (site/tests/site_test.py), one ctest test a
  # case as the served page's are, with Debian's python3-selenium.
  find_program(ANAMORFOSI_SITE_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
  set(SITE_TEST ${CMAKE_CURRENT_SOURCE_DIR}/tests/site_test.py)
  set(site_tests "")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SITE_TEST})
  file(STRINGS ${SITE_TEST} site_cases REGEX "^    def test_[a-z0-9_]+\\(self\\):")
  foreach(line IN LISTS site_cases)
    string(REGEX REPLACE "^    def (test_[a-z0-9_]+).*" "\\1" case "${line}")
    add_test(NAME site_page.${case}
             COMMAND ${ANAMORFOSI_SITE_PYTHON} ${SITE_TEST} ${SITE_OUT} $<TARGET_FILE:anamorfosi>
                     ${PROJECT_SOURCE_DIR}/examples ${SITE_NODE_MODULES} ${CMAKE_CURRENT_BINARY_DIR}/screenshots
                     ${engine_compare} $<TARGET_FILE:site_photo> SiteTest.${case})
    list(APPEND site_tests site_page.${case})
  endforeach()
  if(NOT site_cases)
    message(FATAL_ERROR "no test case found in ${SITE_TEST}")
  endif()
  # Started early, as the served page's cases are: each takes a minute or two.
  set_tests_properties(site_engine ${site_tests} PROPERTIES TIMEOUT 900 COST 1000)
endif()
