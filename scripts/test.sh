#!/usr/bin/env bash
# The project's test command: installs missing packages, builds in ./build and
# runs every test, the database tests against SQLite and against a throwaway
# PostgreSQL 15 cluster that lives only as long as this script.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# BUILD_DIR only for developers who keep a build folder of their own.
BUILD="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD"
cmake --build "$BUILD" -j2

PGBIN=/usr/lib/postgresql/15/bin
if [ ! -x "$PGBIN/initdb" ]; then
  echo "test.sh: PostgreSQL 15 fehlt ($PGBIN)" >&2
  exit 1
fi

# PostgreSQL refuses to run as root: as root the cluster belongs to the
# postgres user, otherwise to the caller.
run_pg() {
  if [ "$(id -u)" -eq 0 ]; then
    (cd "$PGDIR" && runuser -u postgres -- "$@")
  else
    (cd "$PGDIR" && "$@")
  fi
}

PGDIR="$(mktemp -d -p /tmp tarvel-pg.XXXXXX)"
cleanup() {
  local status=$?
  if [ -f "$PGDIR/data/postmaster.pid" ]; then
    run_pg "$PGBIN/pg_ctl" -D "$PGDIR/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$PGDIR"
  exit $status
}
trap cleanup EXIT
if [ "$(id -u)" -eq 0 ]; then
  chown postgres: "$PGDIR"
fi

run_pg "$PGBIN/initdb" -D "$PGDIR/data" -U postgres -A trust -E UTF8 --locale=C --no-sync >"$PGDIR/initdb.log" 2>&1 \
  || { cat "$PGDIR/initdb.log" >&2; exit 1; }
# Unix socket in the cluster's own folder, no TCP; durability is not needed for
# databases that are dropped at the end.
run_pg "$PGBIN/pg_ctl" -D "$PGDIR/data" -l "$PGDIR/server.log" -w \
  -o "-c listen_addresses='' -k $PGDIR -c fsync=off -c synchronous_commit=off -c full_page_writes=off" start >/dev/null \
  || { cat "$PGDIR/server.log" >&2; exit 1; }

export TARVEL_TEST_POSTGRES_URL="postgresql://postgres@/postgres?host=$PGDIR"
export TARVEL_REQUIRE_POSTGRES=1
# Tests must neither see a database of the caller nor write into the caller's
# data folder (default database, error log).
unset TARVEL_DATABASE
export XDG_DATA_HOME="$PGDIR/xdg-data"
mkdir -p "$XDG_DATA_HOME"

postgres_tests="$(ctest --test-dir "$BUILD" -N -L postgres | sed -n 's/^Total Tests: //p')"
if [ "${postgres_tests:-0}" -eq 0 ]; then
  echo "test.sh: kein Test mit dem Label postgres gefunden" >&2
  exit 1
fi

ctest --test-dir "$BUILD" --output-on-failure -j2
echo "test.sh: ${postgres_tests} Tests mit PostgreSQL liefen mit."
