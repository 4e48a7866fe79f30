#!/usr/bin/env bash
# Installs the build tools and libraries from Debian's packages when any is
# missing (needs root, or sudo): g++, cmake, ninja, pkg-config, the picture
# libraries libpng, libjpeg-turbo, libexif and stb (its resizer), CLI11 and nlohmann-json for the
# anamorfosi command, cairo and a font for its PDF, Assimp for the mirror
# meshes (STL, OBJ, PLY, OFF, glTF, 3MF) and minizip (a 3MF's zip checked first), cpp-httplib for its
# page; emscripten (with node) and npm for the page that runs in the browser (site/); GoogleTest, pdftoppm (poppler-utils, to look at the PDF pages), and
# Chromium, its driver and Selenium (the page in a browser) with --tests;
# clang and its libFuzzer (the fuzz targets, scripts/fuzz.sh) with --fuzz.
set -euo pipefail
need=()
command -v g++ >/dev/null || need+=(g++)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v pkg-config >/dev/null || need+=(pkg-config)
[ -e /usr/include/png.h ] || need+=(libpng-dev)
[ -e /usr/include/zlib.h ] || need+=(zlib1g-dev)
[ -e /usr/include/jpeglib.h ] || need+=(libjpeg62-turbo-dev)
[ -e /usr/include/libexif/exif-data.h ] || need+=(libexif-dev)
[ -e /usr/include/stb/stb_image_resize.h ] || need+=(libstb-dev)
[ -e /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
[ -e /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
[ -e /usr/include/cairo/cairo-pdf.h ] || need+=(libcairo2-dev)
[ -e /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf ] || need+=(fonts-dejavu-core)
[ -e /usr/include/assimp/Importer.hpp ] || need+=(libassimp-dev)
[ -e /usr/include/minizip/unzip.h ] || need+=(libminizip-dev)
[ -e /usr/include/httplib.h ] || need+=(libcpp-httplib-dev)
command -v emcc >/dev/null || need+=(emscripten)
command -v npm >/dev/null || need+=(npm)
if [ "${1:-}" = "--tests" ]; then
  [ -e /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
  command -v pdftoppm >/dev/null || need+=(poppler-utils)
  [ -e /usr/include/openssl/evp.h ] || need+=(libssl-dev)
  command -v strace >/dev/null || need+=(strace)
  [ -x /usr/bin/chromium ] || need+=(chromium)
  [ -x /usr/bin/chromedriver ] || need+=(chromium-driver)
  [ -x /usr/bin/python3 ] && /usr/bin/python3 -c "import selenium" 2>/dev/null || need+=(python3-selenium)
fi
if [ "${1:-}" = "--fuzz" ]; then
  command -v clang++ >/dev/null || need+=(clang)
  command -v clang++ >/dev/null && [ -e "$(clang++ -print-resource-dir)/lib/linux/libclang_rt.fuzzer-x86_64.a" ] ||
    need+=(libclang-rt-14-dev)
fi
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi
