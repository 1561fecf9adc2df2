#!/usr/bin/env bash
# Builds what the Windows cross build of Tarvel needs, on Debian 12 as root or
# with sudo, from Debian alone:
#   - the cross toolchain, Wine, wixl and the build machine's Qt tools: apt-get,
#     only what is missing;
#   - Qt qtbase, SQLite, OpenSSL, libpq, nettle, libzip and libxlsxwriter:
#     cross-built for x86_64-w64-mingw32 from Debian's own source packages.
#
# The libraries go to a cache, ~/.cache/tarvel-windows/<versions>/ (the
# parent is TARVEL_WINDOWS_CACHE if set), whose name changes with any version,
# so that a new version builds anew. Each library is marked done when it is
# installed; a run after a failure goes on with the first unfinished one, and
# only a prefix holding .complete counts as built. "current" beside it links to
# the last complete one; scripts/windows/mingw-w64.cmake uses it.
#
# The source packages come through a deb-src list of its own in a temporary
# folder (-o Dir::Etc::SourceList=...): the machine's apt configuration, lists
# and caches stay as they are.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cache_root="${TARVEL_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvel-windows}"
triplet=x86_64-w64-mingw32
jobs=2
# Raise when a build option or a patch changes, so that the cache is built anew.
recipe=2

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

log() { printf '[windows deps] %s\n' "$*" >&2; }
die() { log "$*"; exit 1; }

install_packages() {
  local packages=(
    # the cross toolchain and the Windows libraries Debian builds itself
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
    # the build machine's Qt of the same version: moc, rcc, uic for the cross build
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
    # build systems and what the source packages' builds run
    cmake ninja-build make pkg-config meson m4 tcl perl autoconf automake libtool
    dpkg-dev xz-utils
    # the program's icon, made from its SVG
    librsvg2-bin icoutils
    # running, testing and packing the Windows programs (locales: the
    # German locale that Wine takes its regional settings from)
    wine wine64 wixl xvfb xauth fonts-dejavu-core locales
  )
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  log "installing: ${missing[*]}"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# A deb-src entry for each Debian archive the machine installs from, in a
# temporary folder that this run alone uses.
apt_tmp=""
apt_opts=()
setup_source_lists() {
  apt_tmp="$(mktemp -d -p "${TMPDIR:-/tmp}" tarvel-apt-src.XXXXXX)"
  mkdir -p "$apt_tmp/parts" "$apt_tmp/lists/partial" "$apt_tmp/cache/archives/partial"
  apt-cache policy | awk '
    /^ *[0-9]+ (https?|file):/ { uri = $2; split($3, suite, "/"); getline
      if ($0 ~ /o=Debian,/) printf "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] %s %s %s\n", uri, suite[1], suite[2] }' \
    | sort -u >"$apt_tmp/sources.list"
  [ -s "$apt_tmp/sources.list" ] || die "the machine installs from no Debian archive (apt-cache policy)"
  # apt would download as its _apt user, who cannot write into this private
  # folder (it warns and downloads as the caller): say so at once.
  apt_opts=(-o "Dir::Etc::SourceList=$apt_tmp/sources.list" -o "Dir::Etc::SourceParts=$apt_tmp/parts"
            -o "Dir::State::Lists=$apt_tmp/lists" -o "Dir::Cache=$apt_tmp/cache"
            -o APT::Sandbox::User=root)
  apt-get "${apt_opts[@]}" update -qq >"$apt_tmp/update.log" 2>&1 \
    || { cat "$apt_tmp/update.log" >&2; die "could not read Debian's source index"; }
}
cleanup() {
  [ -n "$apt_tmp" ] && rm -rf "$apt_tmp"
  return 0
}
trap cleanup EXIT

# The newest version of a source package that the archive serves. Versions of
# the security archive are listed in its index, but this mirror may not serve
# their files (404): such a version is passed over, with a note.
declare -A version=()
newest_first() {
  local vs=() i j t
  mapfile -t vs
  for ((i = 0; i < ${#vs[@]}; i++)); do
    for ((j = i + 1; j < ${#vs[@]}; j++)); do
      if dpkg --compare-versions "${vs[j]}" gt "${vs[i]}"; then t=${vs[i]}; vs[i]=${vs[j]}; vs[j]=$t; fi
    done
  done
  printf '%s\n' "${vs[@]}"
}
resolve_version() {
  local pkg=$1 wanted=${2:-} v uri
  for v in $(apt-cache "${apt_opts[@]}" showsrc --only-source "$pkg" 2>/dev/null \
             | sed -n 's/^Version: //p' | sort -u | newest_first); do
    [ -z "$wanted" ] || [ "$v" = "$wanted" ] || continue
    uri="$(apt-get "${apt_opts[@]}" source --print-uris -qq "$pkg=$v" 2>/dev/null \
           | awk -F"'" '$2 ~ /\.dsc$/ {print $2; exit}')"
    if [ -n "$uri" ] && /usr/lib/apt/apt-helper download-file "$uri" "$apt_tmp/probe.dsc" >/dev/null 2>&1; then
      version[$pkg]=$v
      return
    fi
    log "note: $pkg $v is in the index but its files cannot be fetched; trying an older version"
  done
  die "no fetchable source of $pkg${wanted:+ $wanted}"
}

upstream() { local v=${1#*:}; echo "${v%-*}"; }

# Unpacks a source package (with Debian's patches applied) into the work
# folder and prints the folder.
fetch_source() {
  local pkg=$1 dir="$work/src/$1"
  rm -rf "$dir" && mkdir -p "$dir"
  (cd "$dir" && apt-get "${apt_opts[@]}" source -qq "$pkg=${version[$pkg]}" >"$work/logs/fetch-$pkg.log" 2>&1) \
    || { tail -n 20 "$work/logs/fetch-$pkg.log" >&2; die "apt-get source $pkg failed"; }
  find "$dir" -mindepth 1 -maxdepth 1 -type d -print -quit
}

# Runs one library's build with its output in a log; marks it done at the end.
built=0
step() {
  local name=$1; shift
  if [ -e "$prefix/.done/$name" ]; then return; fi
  built=1
  local start=$SECONDS
  log "$name: building (log: $work/logs/$name.log)"
  # Not "if ! (...)": bash ignores set -e inside a tested command.
  local status
  set +e
  (set -e; "$@") >"$work/logs/$name.log" 2>&1
  status=$?
  set -e
  if [ $status -ne 0 ]; then
    tail -n 40 "$work/logs/$name.log" >&2
    die "$name failed; the log is $work/logs/$name.log"
  fi
  touch "$prefix/.done/$name"
  log "$name: done in $((SECONDS - start)) s"
}

cross_env() {
  export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig:/usr/$triplet/lib/pkgconfig" PKG_CONFIG_PATH=""
}

cmake_cross() {
  cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake" -DTARVEL_WINDOWS_PREFIX="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release "$@"
}

# SQLite for Qt's driver and for Tarvel. Debian's qt6-base source leaves out
# Qt's copy, so the driver uses this one (system-sqlite). It is a DLL, as on
# Linux: Tarvel calls SQLite on the driver's own connection handle (busy
# handler, file checks), which is safe only when both use one copy of the
# library with one set of mutexes. The amalgamation does not depend on the
# target: it is generated on the build machine (tclsh) and then compiled with
# the cross compiler.
build_sqlite() {
  local src; src="$(fetch_source sqlite3)"
  mkdir -p "$work/sqlite" && cd "$work/sqlite"
  "$src/configure" --disable-tcl >/dev/null
  make sqlite3.c
  # Debian's compile options, so that SQL behaves as with the Linux build's
  # libsqlite3 (among them the 250000 host parameters and column metadata).
  local defines=(
    -DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS3
    -DSQLITE_ENABLE_FTS3_PARENTHESIS -DSQLITE_ENABLE_RTREE=1 -DSQLITE_SOUNDEX=1
    -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_OMIT_LOOKASIDE=1 -DSQLITE_ENABLE_DBSTAT_VTAB
    -DSQLITE_ALLOW_ROWID_IN_VIEW -DSQLITE_ENABLE_UPDATE_DELETE_LIMIT=1 -DSQLITE_ENABLE_LOAD_EXTENSION
    -DSQLITE_ENABLE_JSON1 -DSQLITE_LIKE_DOESNT_MATCH_BLOBS -DSQLITE_THREADSAFE=1
    -DSQLITE_ENABLE_FTS3_TOKENIZER=1 -DSQLITE_USE_URI=1 -DSQLITE_MAX_SCHEMA_RETRY=25
    -DSQLITE_ENABLE_PREUPDATE_HOOK -DSQLITE_ENABLE_SESSION -DSQLITE_ENABLE_STMTVTAB
    -DSQLITE_MAX_VARIABLE_NUMBER=250000
  )
  # Without a .def file the linker exports every non-static symbol: the
  # amalgamation keeps its internals static, so that is the API.
  $triplet-gcc-posix -O2 -fno-strict-aliasing "${defines[@]}" -shared sqlite3.c -o sqlite3.dll \
    -Wl,--out-implib,libsqlite3.dll.a
  install -D -m 755 sqlite3.dll "$prefix/bin/sqlite3.dll"
  install -D -m 644 libsqlite3.dll.a "$prefix/lib/libsqlite3.dll.a"
  install -D -m 644 sqlite3.h "$prefix/include/sqlite3.h"
  install -D -m 644 sqlite3ext.h "$prefix/include/sqlite3ext.h"
}

# OpenSSL for libpq's TLS: the libraries only (no programs, tests or
# the legacy provider).
build_openssl() {
  local src; src="$(fetch_source openssl)"
  cd "$src"
  ./Configure mingw64 --cross-compile-prefix=$triplet- --prefix="$prefix" --libdir=lib \
    --openssldir="$prefix/ssl" shared no-tests no-legacy no-module
  make -j$jobs build_libs
  make install_dev
}

# libpq, the PostgreSQL client library alone, with OpenSSL.
build_libpq() {
  local src; src="$(fetch_source postgresql-15)"
  mkdir -p "$work/postgresql" && cd "$work/postgresql"
  "$src/configure" --host=$triplet --prefix="$prefix" --with-ssl=openssl \
    --without-readline --without-zlib --without-icu \
    CC=$triplet-gcc-posix CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib"
  make -j$jobs -C src/interfaces/libpq
  make -C src/interfaces/libpq install
  # libpq installs its DLL beside the import library; programs look in bin.
  mv "$prefix/lib/libpq.dll" "$prefix/bin/libpq.dll"
  # postgres_ext.h and pg_config*.h, which libpq-fe.h includes
  make -C src/include install
}

# nettle: RC4 for the protected .xls workbooks. hogweed (public keys, GMP) is
# not needed. The install would run autoconf again (the patches touch its
# inputs); its output is already generated.
build_nettle() {
  local src; src="$(fetch_source nettle)"
  mkdir -p "$work/nettle" && cd "$work/nettle"
  "$src/configure" --host=$triplet --prefix="$prefix" --disable-documentation --disable-public-key \
    --disable-openssl CC=$triplet-gcc-posix AUTOHEADER=true AUTOCONF=true
  make -j$jobs AUTOHEADER=true AUTOCONF=true
  make install AUTOHEADER=true AUTOCONF=true
}

# libzip over Debian's MinGW zlib.
build_libzip() {
  local src; src="$(fetch_source libzip)"
  cmake_cross -S "$src" -B "$work/libzip" -DBUILD_SHARED_LIBS=ON \
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
    -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_COMMONCRYPTO=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
  cmake --build "$work/libzip" -j$jobs
  cmake --install "$work/libzip"
}

# libxlsxwriter, which the tests use to write their workbooks; with the
# minizip copy of its source (Debian's MinGW zlib has none).
build_libxlsxwriter() {
  local src; src="$(fetch_source libxlsxwriter)"
  cmake_cross -S "$src" -B "$work/libxlsxwriter" -DBUILD_SHARED_LIBS=ON -DUSE_SYSTEM_MINIZIP=OFF \
    -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF
  cmake --build "$work/libxlsxwriter" -j$jobs
  cmake --install "$work/libxlsxwriter"
}

# Qt qtbase: Core, Gui, Widgets, Sql (SQLite, PostgreSQL, ODBC), Test, the
# windows and offscreen platform plugins; nothing Tarvel does not use.
# Debian's source lacks two folders of Qt's: src/3rdparty/sqlite (the driver
# takes the SQLite above) and src/3rdparty/wintab, the WinTab tablet header
# (tablet events off; direct2d, which needs it too, off). FEATURE_opengl=OFF
# alone leaves dynamic OpenGL on and the windows plugin fails to compile;
# INPUT_opengl=no turns both off, as configure -no-opengl does. Qt 6.4 builds
# its DirectWrite font database only with direct2d, yet the windows plugin
# links it whenever directwrite3 is on: that goes off too (the default GDI
# font database stays).
build_qtbase() {
  local src; src="$(fetch_source qt6-base)"
  cmake_cross -S "$src" -B "$work/qtbase" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_xml=OFF -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_jpeg=OFF \
    -DFEATURE_testlib=ON -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON \
    -DFEATURE_sql_psql=ON -DFEATURE_sql_odbc=ON \
    -DFEATURE_sql_mysql=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF -DFEATURE_sql_ibase=OFF \
    -DFEATURE_system_zlib=ON
  # Each driver the build was asked for must be there: Qt drops one silently
  # when it does not find its library.
  local f
  for f in sql_sqlite system_sqlite sql_psql sql_odbc testlib; do
    grep -q "^QT_FEATURE_$f:INTERNAL=ON" "$work/qtbase/CMakeCache.txt" || die "Qt configured without $f"
  done
  cmake --build "$work/qtbase" -j$jobs
  cmake --install "$work/qtbase"
  # The driver must use the shared SQLite, not a copy of its own.
  local imports
  imports="$($triplet-objdump -p "$prefix/plugins/sqldrivers/qsqlite.dll")"
  grep -qi 'DLL Name: sqlite3.dll' <<<"$imports" || die "Qt's SQLite driver does not use sqlite3.dll"
}

# The compiler's runtime and zlib beside the libraries' DLLs, so that one
# folder holds every DLL a program may need.
copy_runtime() {
  local dll
  for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    install -m 644 "$($triplet-g++-posix -print-file-name=$dll)" "$prefix/bin/"
  done
  install -m 644 /usr/$triplet/lib/zlib1.dll "$prefix/bin/"
}

# Qt's German texts (the same file on every platform, from Debian's
# qt6-translations-l10n) where this Qt looks for them, so that programs run
# from the build, the tests among them, speak German as the folder's do.
copy_translations() {
  install -D -m 644 /usr/share/qt6/translations/qtbase_de.qm "$prefix/translations/qtbase_de.qm"
}

main() {
  local total_start=$SECONDS
  install_packages
  setup_source_lists

  resolve_version qt6-base "$(dpkg-query -W -f='${Version}' qt6-base-dev)"
  local pkg
  for pkg in sqlite3 openssl postgresql-15 nettle libzip libxlsxwriter; do
    resolve_version "$pkg"
  done

  # The name shows the upstream versions; the hash covers the rest (Debian
  # revisions, the compilers, the recipe).
  local id
  id="$( {
    echo "recipe $recipe"
    for pkg in "${!version[@]}"; do echo "$pkg ${version[$pkg]}"; done | sort
    dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev qt6-base-dev
  } | sha256sum | cut -c1-10)"
  local name
  name="qt$(upstream "${version[qt6-base]}" | sed 's/+dfsg//')-sqlite$(upstream "${version[sqlite3]}")"
  name+="-openssl$(upstream "${version[openssl]}")-pq$(upstream "${version[postgresql-15]}")"
  name+="-nettle$(upstream "${version[nettle]}")-zip$(upstream "${version[libzip]}")"
  name+="-xlsxwriter$(upstream "${version[libxlsxwriter]}")-$id"
  prefix="$cache_root/$name"
  work="$cache_root/work-$name"

  mkdir -p "$cache_root"
  exec 9>"$cache_root/.lock"
  flock 9 || die "cannot lock $cache_root"

  # Each step runs once; one added to this script later runs on a finished
  # cache too.
  mkdir -p "$prefix/.done" "$prefix/lib" "$prefix/include" "$prefix/bin" "$work/logs" "$work/src"
  cross_env
  step sqlite build_sqlite
  step openssl build_openssl
  step libpq build_libpq
  step nettle build_nettle
  step libzip build_libzip
  step libxlsxwriter build_libxlsxwriter
  step qtbase build_qtbase
  step runtime copy_runtime
  step translations copy_translations

  rm -rf "$work"
  for pkg in "${!version[@]}"; do echo "$pkg ${version[$pkg]}"; done | sort >"$prefix/.complete"
  ln -sfn "$name" "$cache_root/current"
  if [ "$built" -eq 0 ]; then
    log "cached: $prefix"
  else
    log "done in $((SECONDS - total_start)) s: $prefix"
  fi
  echo "$prefix"
}

main "$@"
