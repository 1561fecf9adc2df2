#!/usr/bin/env bash
# Cross-builds Tarvel for 64-bit Windows on Debian 12 (as root or with sudo).
# First the toolchain and the libraries, cached (deps.sh); the toolchain file
# mingw-w64.cmake then points CMake, pkg-config and Qt at that cache.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

TARVEL_WINDOWS_PREFIX="$("$here/deps.sh")"
export TARVEL_WINDOWS_PREFIX
