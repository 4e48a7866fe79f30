#!/usr/bin/env bash
# Installs the build tools and libraries from Debian's packages when any is
# missing (needs root, or sudo): g++, cmake, ninja, pkg-config, the picture
# libraries libpng, libjpeg-turbo and libexif, CLI11 and nlohmann-json for the
# anamorfosi command; GoogleTest with --tests.
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
[ -e /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
[ -e /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
if [ "${1:-}" = "--tests" ] && [ ! -e /usr/include/gtest/gtest.h ]; then need+=(libgtest-dev); fi
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi
