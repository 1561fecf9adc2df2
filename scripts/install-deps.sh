#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test Tarvel.
# Idempotent: runs apt-get only for packages that are missing.
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config
  qt6-base-dev
  libzip-dev nettle-dev libpq-dev libsqlite3-dev unixodbc-dev
  # run
  libqt6svg6  # the SVG icon engine, for the program's icon
  libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc unixodbc qt6-translations-l10n fonts-dejavu-core
  # test; the installed tree's checks
  postgresql-15 xvfb xauth openssl  # openssl: the TLS test cluster's certificates
  mariadb-server odbc-mariadb odbc-postgresql libsqliteodbc  # the ODBC tests' server and drivers
  desktop-file-utils appstream man-db
  pmccabe  # scripts/code-shape.sh measures functions with it
  # scripts/package.sh
  file lintian
  # sanitizer build and fuzz targets: clang, its sanitizer and libFuzzer runtimes, llvm-symbolizer
  clang libclang-rt-14-dev llvm
  # fixtures
  libxlsxwriter-dev python3 python3-openpyxl python3-xlwt python3-xlrd python3-msoffcrypto-tool
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
