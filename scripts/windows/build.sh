#!/usr/bin/env bash
# Cross-builds Tarvel for 64-bit Windows on Debian 12 (as root or with sudo):
#
#   build-windows/         the CMake build: programs and tests (scripts/windows/test.sh)
#   build-windows/Tarvel/  what a Windows PC gets, and the MSI carries: the
#                          programs, every DLL they load, Qt's plugins and German
#                          texts, the schema and the sample workbooks
#   build-windows/Tarvel-<version>-win64.msi, .zip   that folder packed (msi.sh)
#
# First the toolchain and the libraries, cached (deps.sh); the toolchain file
# mingw-w64.cmake then points CMake, pkg-config and Qt at that cache. The
# folder is made anew each time.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-windows"
folder="$build/Tarvel"
triplet=x86_64-w64-mingw32

log() { printf '[windows build] %s\n' "$*" >&2; }
die() { log "$*"; exit 1; }

TARVEL_WINDOWS_PREFIX="$("$here/deps.sh")"
export TARVEL_WINDOWS_PREFIX
prefix="$TARVEL_WINDOWS_PREFIX"

options=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake" -DTARVEL_WINDOWS_PREFIX="$prefix"
         -DCMAKE_BUILD_TYPE=Release)
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Libraries of another cache (new versions): CMake must find Qt and the rest anew.
if [ -f "$build/CMakeCache.txt" ] && ! grep -qxF "TARVEL_WINDOWS_PREFIX:PATH=$prefix" "$build/CMakeCache.txt"; then
  options+=(--fresh)
fi
cmake -S "$root" -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j2

rm -rf "$folder"
cmake --install "$build" --prefix "$folder" --strip >/dev/null

# Qt's plugins, as qt.conf in the folder expects them: the platforms (windows
# for the desktop, offscreen for programs without a display), the SQL drivers,
# the icon format and the native style; and Qt's German texts.
for plugin in platforms/qwindows platforms/qoffscreen sqldrivers/qsqlite sqldrivers/qsqlpsql sqldrivers/qsqlodbc \
              imageformats/qico styles/qwindowsvistastyle; do
  install -D -m 644 "$prefix/plugins/$plugin.dll" "$folder/plugins/$plugin.dll"
done
install -D -m 644 "$prefix/translations/qtbase_de.qm" "$folder/translations/qtbase_de.qm"

# Every DLL that a program or plugin loads, and those they load in turn, from
# the cache (there is no deployment tool for a cross build). A DLL that is
# neither there nor one of Windows' own (as Wine provides them, or an API set
# such as api-ms-win-core-winrt-l1-1-0.dll) is missing.
system_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
declare -A cached=() copied=()
for dll in "$prefix"/bin/*.dll; do
  name="$(basename "$dll")"
  cached[${name,,}]="$dll"
done
pending=("$folder"/*.exe "$folder"/plugins/*/*.dll)
while [ ${#pending[@]} -gt 0 ]; do
  file="${pending[0]}"
  pending=("${pending[@]:1}")
  while read -r name; do
    key="${name,,}"
    [ -z "${copied[$key]:-}" ] || continue
    if [ -n "${cached[$key]:-}" ]; then
      install -m 644 "${cached[$key]}" "$folder/"
      copied[$key]=1
      pending+=("$folder/$(basename "${cached[$key]}")")
    elif [[ ! -e "$system_dlls/$key" && "$key" != api-ms-win-* && "$key" != ext-ms-win-* ]]; then
      die "$(basename "$file") needs $name, which is neither in $prefix/bin nor part of Windows"
    fi
  done < <($triplet-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr -d '\r')
done

log "built: $folder ($(du -sh "$folder" | cut -f1), $(find "$folder" -type f | wc -l) files)"
"$here/msi.sh"
