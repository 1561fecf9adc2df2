# Sourced by the test and benchmark commands: starts a PostgreSQL 15 cluster
# that lives only as long as the calling script, on a unix socket in its own
# temporary folder and on 127.0.0.1 at a free port (for a test's proxy and for
# the Windows programs under Wine), and stops and removes it on exit.
#
#   source scripts/throwaway-postgres.sh
#   start_throwaway_postgres [durable]   # sets PGDIR, THROWAWAY_POSTGRES_URL
#                                        # (the admin database "postgres", over
#                                        # the socket) and THROWAWAY_POSTGRES_PORT
#   start_test_postgres                  # the same for tests, which it also
#                                        # keeps away from the caller's data

PGBIN=/usr/lib/postgresql/15/bin

# PostgreSQL refuses to run as root: as root the cluster belongs to the
# postgres user, otherwise to the caller.
run_pg() {
  if [ "$(id -u)" -eq 0 ]; then
    (cd "$PGDIR" && runuser -u postgres -- "$@")
  else
    (cd "$PGDIR" && "$@")
  fi
}

stop_throwaway_postgres() {
  local status=$?
  if [ -n "${PGDIR:-}" ] && [ -f "$PGDIR/data/postmaster.pid" ]; then
    run_pg "$PGBIN/pg_ctl" -D "$PGDIR/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  [ -n "${PGDIR:-}" ] && rm -rf "$PGDIR"
  exit $status
}

start_throwaway_postgres() {
  if [ ! -x "$PGBIN/initdb" ]; then
    echo "PostgreSQL 15 fehlt ($PGBIN)" >&2
    exit 1
  fi
  PGDIR="$(mktemp -d -p /tmp tarvel-pg.XXXXXX)"
  trap stop_throwaway_postgres EXIT
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$PGDIR"
  fi
  run_pg "$PGBIN/initdb" -D "$PGDIR/data" -U postgres -A trust -E UTF8 --locale=C --no-sync >"$PGDIR/initdb.log" 2>&1 \
    || { cat "$PGDIR/initdb.log" >&2; exit 1; }
  # Durability is not needed for databases that die with the script; a
  # benchmark passes "durable" to measure what a real server does.
  local settings="-c fsync=off -c full_page_writes=off"
  [ "${1:-}" = durable ] && settings=""
  # A random port; when another program has it, the server does not start
  # and the next one is tried.
  local port
  for _ in 1 2 3 4 5; do
    port=$((20000 + RANDOM % 40000))
    if run_pg "$PGBIN/pg_ctl" -D "$PGDIR/data" -l "$PGDIR/server.log" -w \
         -o "-c listen_addresses=127.0.0.1 -p $port -k $PGDIR $settings" start >/dev/null; then
      THROWAWAY_POSTGRES_PORT=$port
      THROWAWAY_POSTGRES_URL="postgresql://postgres@/postgres?host=$PGDIR&port=$port"
      return
    fi
  done
  cat "$PGDIR/server.log" >&2
  exit 1
}

# Tests run against the throwaway cluster and must neither see a database of
# the caller nor write into the caller's data folder (default database, error log).
start_test_postgres() {
  start_throwaway_postgres
  export TARVEL_TEST_POSTGRES_URL="$THROWAWAY_POSTGRES_URL" TARVEL_TEST_POSTGRES_PORT="$THROWAWAY_POSTGRES_PORT"
  export TARVEL_REQUIRE_POSTGRES=1
  unset TARVEL_DATABASE
  export XDG_DATA_HOME="$PGDIR/xdg-data"
  mkdir -p "$XDG_DATA_HOME"
}
