#!/usr/bin/env bash
# The project's test command: installs missing packages, builds in ./build and
# runs every test, the database tests against SQLite, against a throwaway
# PostgreSQL 15 cluster and, through ODBC, against SQLite, that cluster and a
# throwaway MariaDB server, which live only as long as this script. Then the same
# tests again in a second build under AddressSanitizer and
# UndefinedBehaviorSanitizer (./build-sanitize, clang), where each fuzz target
# also replays its seeds once (scripts/fuzz.sh does the timed fuzzing). Builds
# only what the tests run, through ccache when it is installed. Last, when the
# Windows libraries are built, the Windows build's tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# No product file over 350 lines, no function over 80.
bash scripts/code-shape.sh

# BUILD_DIR only for developers who keep a build folder of their own.
BUILD="${BUILD_DIR:-build}"
source scripts/sanitize-build.sh
cmake -S . -B "$BUILD" "${COMPILER_LAUNCHER[@]}"
cmake --build "$BUILD" -j"$JOBS" --target tarvel_tests
build_sanitized --target tarvel_tests

source scripts/throwaway-postgres.sh
source scripts/throwaway-mariadb.sh
start_test_postgres
start_throwaway_mariadb
write_test_odbcinst
export TARVEL_TEST_MARIADB_ODBC="Driver={MariaDB Unicode};Socket=$MARIADB_SOCKET;Uid=root"

postgres_tests="$(ctest --test-dir "$BUILD" -N -L postgres | sed -n 's/^Total Tests: //p')"
if [ "${postgres_tests:-0}" -eq 0 ]; then
  echo "test.sh: kein Test mit dem Label postgres gefunden" >&2
  exit 1
fi

# Every database a test made on the MariaDB server counts: none means the
# ODBC tests did not reach it.
mariadb_databases() {
  mariadb --no-defaults --socket="$MARIADB_SOCKET" -uroot -N -e "SHOW GLOBAL STATUS LIKE 'Com_create_db'" | cut -f2
}
before="$(mariadb_databases)"
ctest --test-dir "$BUILD" --output-on-failure -j"$JOBS"
made=$(( $(mariadb_databases) - before ))
if [ "$made" -eq 0 ]; then
  echo "test.sh: kein Test lief mit MariaDB" >&2
  exit 1
fi
echo "test.sh: ${postgres_tests} Tests mit PostgreSQL liefen mit, ${made} Testdatenbanken auf MariaDB (ODBC)."

echo "test.sh: dieselben Tests unter AddressSanitizer und UndefinedBehaviorSanitizer"
# Tests that repeat the same code (concurrency rounds, the bad-cells matrix on
# both databases) run it less here: one round already shows a memory fault.
# SQLite's ODBC driver loads libodbcinst at each connect and unloads it at each
# disconnect; what that library cached is then reported as a leak of an unknown
# module, which no suppression can name. Loaded from the start, it stays.
before="$(mariadb_databases)"
LD_PRELOAD=libodbcinst.so.2 TARVEL_TEST_SANITIZERS=1 ctest --test-dir "$SANITIZE_BUILD" --output-on-failure -j"$JOBS"
if [ "$(mariadb_databases)" -eq "$before" ]; then
  echo "test.sh: kein Test lief mit MariaDB (Sanitizer-Build)" >&2
  exit 1
fi

# The Windows build's tests under Wine, when the Windows libraries are built
# (scripts/windows/build.sh builds them once, in about an hour).
windows_cache="${TARVEL_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvel-windows}/current"
if [ -e "$windows_cache/.complete" ]; then
  echo "test.sh: dieselben Tests für Windows, unter Wine"
  bash scripts/windows/build.sh
  bash scripts/windows/test.sh
  bash scripts/windows/test-msi.sh
  echo "test.sh: die Windows-Tests liefen unter Wine mit."
else
  echo "test.sh: Windows-Tests übersprungen: die Windows-Bibliotheken fehlen ($windows_cache; scripts/windows/build.sh baut sie)."
fi
