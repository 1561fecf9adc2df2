#!/usr/bin/env bash
# Packs build-windows/Tarvel/ (scripts/windows/build.sh) for handing out:
#
#   build-windows/Tarvel-<version>-win64.msi   the installer (packaging/windows/tarvel.wxs)
#   build-windows/Tarvel-<version>-win64.zip   the same files, in a folder Tarvel
#
# The version is CMake's project version. --version gives another (the MSI
# test builds a newer one that way), --output another folder.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-windows"
output="$build"
version=""
while [ $# -gt 0 ]; do
  case "$1" in
    --version) version="$2"; shift 2 ;;
    --output) output="$(mkdir -p "$2" && cd "$2" && pwd)"; shift 2 ;;
    *) echo "usage: msi.sh [--version VERSION] [--output FOLDER]" >&2; exit 2 ;;
  esac
done

log() { printf '[windows msi] %s\n' "$*" >&2; }
die() { log "$*"; exit 1; }

[ -f "$build/Tarvel/tarvel.exe" ] || die "no build-windows/Tarvel, run scripts/windows/build.sh"
[ -n "$version" ] || version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[[ "$version" =~ ^[0-9]+\.[0-9]+(\.[0-9]+)?$ ]] || die "version '$version' is no MSI version (major.minor[.build])"

missing=()
command -v wixl >/dev/null || missing+=(wixl)
command -v zip >/dev/null || missing+=(zip)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
fi

name="Tarvel-$version-win64"
# The product code, a name-based UUID (version 5 layout) of the version.
hash="$(printf 'Tarvel %s win64' "$version" | sha1sum | cut -c1-32)"
product_code="${hash:0:8}-${hash:8:4}-5${hash:13:3}-$(printf '%x' $(( (0x${hash:16:1} & 3) | 8 )))${hash:17:3}-${hash:20:12}"
work="$(mktemp -d -p "${TMPDIR:-/tmp}" tarvel-msi.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# The file list follows the folder. wixl wants Source paths relative to where
# it runs (build-windows); its Guid="*" derives each component's code from the
# file's place in the install, so codes stay the same from build to build.
cd "$build"
find Tarvel -type f | LC_ALL=C sort |
  wixl-heat --directory-ref INSTALLDIR --component-group ProgramFiles --var var.Source -p Tarvel/ --win64 \
  > "$work/files.wxs"
# The installer's check of its DATENBANK runs the installed tarvel-batch.exe.
batch_file="$(sed -n 's|.*<File Id="\([^"]*\)".*Source="\$(var.Source)/tarvel-batch.exe"/>.*|\1|p' "$work/files.wxs")"
[ -n "$batch_file" ] || die "tarvel-batch.exe is not in the file list"
wixl -a x64 -D Version="$version" -D ProductCode="${product_code^^}" -D Source=Tarvel -D Win64=yes -D BatchFile="$batch_file" \
  -o "$output/$name.msi" "$root/packaging/windows/tarvel.wxs" "$work/files.wxs"

rm -f "$output/$name.zip"
zip -q -r -X "$output/$name.zip" Tarvel
log "built: $output/$name.msi ($(du -h "$output/$name.msi" | cut -f1)), $output/$name.zip"
