#!/usr/bin/env bash
# Times the district check and import in the window against tarvel-batch on
# the same 10,000-row workbook and 10,000 districts, on SQLite (WAL) and on a
# throwaway PostgreSQL 15 cluster with the server's usual durability, under
# Xvfb: medians of five, and the bound the window must keep (1.5 times
# tarvel-batch's time plus a second).
#
#   bench/window.sh [ROWS]
set -euo pipefail
cd "$(dirname "$0")/.."
rows="${1:-10000}"

bash scripts/install-deps.sh
BUILD="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j2 --target tarvel_windowbench tarvel-batch

source scripts/throwaway-postgres.sh
start_throwaway_postgres durable
export XDG_DATA_HOME="$PGDIR/xdg-data" QT_QPA_PLATFORM=xcb
bench() { xvfb-run -a -s "-screen 0 1600x1000x24" "$BUILD/bench/tarvel_windowbench" "$1" "$BUILD/batch/tarvel-batch" "$rows"; }

echo "== SQLite"
bench "$PGDIR/bench.sqlite"

echo "== PostgreSQL"
run_pg "$PGBIN/psql" -h "$PGDIR" -U postgres -qc "create database tarvel_window" postgres
bench "postgresql://postgres@/tarvel_window?host=$PGDIR"
