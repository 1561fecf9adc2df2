#!/usr/bin/env bash
# Runs the tests of the Windows build (scripts/windows/build.sh) under Wine:
# every test program as cross-built, through ctest, in a Wine prefix and
# against a PostgreSQL cluster that live only as long as this script. The
# Windows programs reach the cluster over TCP on 127.0.0.1; widgets draw on
# the offscreen platform. Tests that cannot run under Wine skip with their
# reason (the README lists them). Arguments go to ctest (-R tst_batch).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-windows"
[ -f "$build/CTestTestfile.cmake" ] || { echo "windows/test.sh: no Windows build, run scripts/windows/build.sh" >&2; exit 1; }
prefix="$(sed -n 's/^TARVEL_WINDOWS_PREFIX:PATH=//p' "$build/CMakeCache.txt")"

wine=/usr/lib/wine/wine64
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# The Wine prefix, its local application data and the German locale, in a
# folder of this run's own. No debugging output, and no offer to install
# Wine's Mono and Gecko.
work="$(mktemp -d -p "${TMPDIR:-/tmp}" tarvel-wine.XXXXXX)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Keeps the exit status for stop_throwaway_postgres, which exits with it.
stop_wine() {
  local status=$?
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
  return $status
}

source "$root/scripts/throwaway-postgres.sh"
start_throwaway_postgres
trap 'stop_wine; stop_throwaway_postgres' EXIT

# German regional settings, as the users have them: dates as 07.12.2026,
# the console in code page 850. Wine takes them from LC_ALL, and names files
# in that locale's character set, so the locale must exist here: it is made
# for this run (LOCPATH), from the sources of Debian's locales package.
mkdir "$work/locale"
localedef -i de_DE -f UTF-8 "$work/locale/de_DE.UTF-8"
locale=(env LOCPATH="$work/locale" LC_ALL=de_DE.UTF-8)
"${locale[@]}" "$wine" wineboot -i >/dev/null 2>&1
registry() { "${locale[@]}" "$wine" reg add "$@" /f >/dev/null; }
# Wine passes no QT_ variable of Linux on to Windows programs (they are the
# Linux Qt's): the prefix's user environment gives them.
registry 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen
registry 'HKCU\Environment' /v QT_QPA_FONTDIR /d "$(windows_path /usr/share/fonts/truetype/dejavu)"
registry 'HKCU\Environment' /v QT_FORCE_STDERR_LOGGING /d 1
# The local application data folder (default database, error log) follows
# TARVEL_TEST_LOCAL_APPDATA, which a test sets for each program it starts
# (tests/support/testplatform_windows.cpp), as XDG_DATA_HOME does on Linux.
registry 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
  /v 'Local AppData' /t REG_EXPAND_SZ /d '%TARVEL_TEST_LOCAL_APPDATA%'
mkdir -p "$work/local-appdata"
export TARVEL_TEST_LOCAL_APPDATA
TARVEL_TEST_LOCAL_APPDATA="$(windows_path "$work/local-appdata")"

# The DLLs of the cache; Qt takes its plugins from beside them.
WINEPATH="$(windows_path "$prefix/bin")"
export WINEPATH
export TARVEL_TEST_POSTGRES_URL="postgresql://postgres@127.0.0.1:$THROWAWAY_POSTGRES_PORT/postgres"
export TARVEL_TEST_POSTGRES_PORT="$THROWAWAY_POSTGRES_PORT" TARVEL_REQUIRE_POSTGRES=1
unset TARVEL_DATABASE

"${locale[@]}" ctest --test-dir "$build" --output-on-failure -j2 "$@"
