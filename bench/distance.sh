#!/usr/bin/env bash
# Round trips per row of the district and cooperative runs on a throwaway
# PostgreSQL 15 cluster with the server's usual durability, reached through a
# proxy of the benchmark's own that holds every packet 10 ms and 25 ms each
# way (20 ms and 50 ms round trip): the extra time against a direct
# connection divided by rows times the round trip, and the client's turns per
# row through the proxy without delay. The machine's network is not touched.
#
#   bench/distance.sh [ROWS]
set -euo pipefail
cd "$(dirname "$0")/.."
rows="${1:-1000}"

bash scripts/install-deps.sh
BUILD="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j2 --target tarvel_distancebench

source scripts/throwaway-postgres.sh
start_throwaway_postgres durable
run_pg "$PGBIN/psql" -h "$PGDIR" -p "$THROWAWAY_POSTGRES_PORT" -U postgres -qc "create database tarvel_distance" postgres
"$BUILD/bench/tarvel_distancebench" "postgresql://postgres@/tarvel_distance?host=$PGDIR&port=$THROWAWAY_POSTGRES_PORT" \
  "$THROWAWAY_POSTGRES_PORT" "$((rows + 1))"
