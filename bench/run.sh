#!/usr/bin/env bash
# Times the district and cooperative check and import runs on 10,000-row
# workbooks against 10,000 districts and cooperatives, on SQLite (WAL), on a
# throwaway PostgreSQL 15 cluster with the server's usual durability, and on a
# throwaway MariaDB server (durable too) through its ODBC driver. Then the
# district check and import in the window against tarvel-batch on the same
# data, under Xvfb: medians of five, and the bound the window must keep (1.5
# times tarvel-batch's time plus a second).
#
#   bench/run.sh [ROWS]
set -euo pipefail
cd "$(dirname "$0")/.."
rows="${1:-10000}"

bash scripts/install-deps.sh
BUILD="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j2 --target tarvel_bench tarvel_windowbench tarvel-batch

source scripts/throwaway-postgres.sh
source scripts/throwaway-mariadb.sh
start_throwaway_postgres durable
start_throwaway_mariadb durable
write_test_odbcinst

echo "== SQLite"
"$BUILD/bench/tarvel_bench" "$PGDIR/bench.sqlite" "$rows" | tee "$PGDIR/sqlite.txt"

echo "== PostgreSQL"
run_pg "$PGBIN/psql" -h "$PGDIR" -p "$THROWAWAY_POSTGRES_PORT" -U postgres -qc "create database tarvel_bench" postgres
"$BUILD/bench/tarvel_bench" "postgresql://postgres@/tarvel_bench?host=$PGDIR&port=$THROWAWAY_POSTGRES_PORT" "$rows" | tee "$PGDIR/postgres.txt"

echo "== MariaDB (ODBC)"
mariadb --no-defaults --socket="$MARIADB_SOCKET" -uroot -e "create database tarvel_bench"
"$BUILD/bench/tarvel_bench" "odbc:Driver={MariaDB Unicode};Socket=$MARIADB_SOCKET;Database=tarvel_bench;Uid=root" "$rows" \
  | tee "$PGDIR/mariadb.txt"

# A run's line: two blanks, its name in 28 columns, a blank, the seconds.
ratio() {
  awk 'NR == FNR { if (/ s   log/) base[substr($0, 3, 28)] = substr($0, 31, 8) + 0; next }
       / s   log/ { run = substr($0, 3, 28); printf "  %s %7.1f\n", run, (substr($0, 31, 8) + 0) / base[run] }' "$1" "$2"
}
echo "== PostgreSQL / SQLite"
ratio "$PGDIR/sqlite.txt" "$PGDIR/postgres.txt"
echo "== MariaDB (ODBC) / PostgreSQL"
ratio "$PGDIR/postgres.txt" "$PGDIR/mariadb.txt"

export XDG_DATA_HOME="$PGDIR/xdg-data" QT_QPA_PLATFORM=xcb
window() { xvfb-run -a -s "-screen 0 1600x1000x24" "$BUILD/bench/tarvel_windowbench" "$1" "$BUILD/batch/tarvel-batch" "$rows"; }
echo "== Window against tarvel-batch, SQLite"
window "$PGDIR/window.sqlite"
echo "== Window against tarvel-batch, PostgreSQL"
run_pg "$PGBIN/psql" -h "$PGDIR" -U postgres -qc "create database tarvel_window" postgres
window "postgresql://postgres@/tarvel_window?host=$PGDIR"
