#!/usr/bin/env bash
# Builds the Debian package build-package/tarvel_<version>_amd64.deb: the
# programs built with Debian's hardening flags in build-package/, installed and
# packed by CPack, then checked by lintian.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
BUILD=build-package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# Build type None: the flags are exactly Debian's. The package holds only the
# programs, so installing must not wait for the tests to build.
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=None -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$BUILD" -j2 --target tarvel tarvel-batch tarvel-demodb
(cd "$BUILD" && cpack -G DEB)

package=$(ls "$BUILD"/tarvel_*_amd64.deb)
lintian --fail-on error "$package"
echo "package.sh: $package"
