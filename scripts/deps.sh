#!/usr/bin/env bash
# Installs the build tools from Debian's packages when any is missing
# (needs root, or sudo).
set -euo pipefail
need=()
command -v g++ >/dev/null || need+=(g++)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
if [ "${1:-}" = "--tests" ] && [ ! -e /usr/include/gtest/gtest.h ]; then need+=(libgtest-dev); fi
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi
