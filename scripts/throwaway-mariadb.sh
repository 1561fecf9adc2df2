# Sourced by the test and benchmark commands: starts a MariaDB server that
# lives only as long as the calling script, on a unix socket in its own
# temporary folder (no TCP), and stops and removes it on exit. Also writes the
# ODBC driver list of the tests (odbcinst.ini) into a folder of its own, so
# that nothing of the machine's /etc/odbcinst.ini or odbc.ini counts.
#
#   source scripts/throwaway-mariadb.sh
#   start_throwaway_mariadb [durable]  # sets MARIADBDIR and MARIADB_SOCKET; the
#                                      # user root reaches it without a password
#   write_test_odbcinst                # sets ODBCSYSINI and ODBCINI
#
# Call these after start_throwaway_postgres: they add to its exit trap.

stop_throwaway_mariadb() {
  if [ -n "${MARIADBDIR:-}" ] && [ -f "$MARIADBDIR/mariadbd.pid" ]; then
    local pid
    pid="$(cat "$MARIADBDIR/mariadbd.pid")"
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  [ -n "${MARIADBDIR:-}" ] && rm -rf "$MARIADBDIR"
  return 0
}

start_throwaway_mariadb() {
  if ! command -v mariadbd >/dev/null && [ ! -x /usr/sbin/mariadbd ]; then
    echo "MariaDB fehlt (Paket mariadb-server)" >&2
    exit 1
  fi
  MARIADBDIR="$(mktemp -d -p /tmp tarvel-mariadb.XXXXXX)"
  # The PostgreSQL script's trap stays: both are stopped, the exit status kept.
  trap 'status=$?; stop_throwaway_mariadb; (exit $status); stop_throwaway_postgres' EXIT
  local user=()
  if [ "$(id -u)" -eq 0 ]; then
    chown mysql: "$MARIADBDIR"
    user=(--user=mysql)
  fi
  mariadb-install-db --no-defaults "${user[@]}" --datadir="$MARIADBDIR/data" --auth-root-authentication-method=normal \
    --skip-test-db >"$MARIADBDIR/install.log" 2>&1 || { cat "$MARIADBDIR/install.log" >&2; exit 1; }
  # Durability is not needed for databases that die with the script; a
  # benchmark passes "durable" to measure what a real server does.
  local settings=(--innodb-flush-log-at-trx-commit=2 --sync-binlog=0 --innodb-doublewrite=0)
  [ "${1:-}" = durable ] && settings=()
  MARIADB_SOCKET="$MARIADBDIR/mariadb.sock"
  /usr/sbin/mariadbd --no-defaults "${user[@]}" --datadir="$MARIADBDIR/data" --socket="$MARIADB_SOCKET" \
    --skip-networking --pid-file="$MARIADBDIR/mariadbd.pid" --log-error="$MARIADBDIR/server.log" \
    --character-set-server=utf8mb4 --collation-server=utf8mb4_bin --innodb-buffer-pool-size=64M \
    "${settings[@]}" &
  for _ in $(seq 1 300); do
    [ -S "$MARIADB_SOCKET" ] && mariadb --no-defaults --socket="$MARIADB_SOCKET" -uroot -e 'select 1' >/dev/null 2>&1 \
      && return 0
    sleep 0.1
  done
  cat "$MARIADBDIR/server.log" >&2
  exit 1
}

# The three drivers the tests use, by the names the ODBC connection strings of
# the tests give; found where Debian installs them.
write_test_odbcinst() {
  local lib
  lib="$(dirname "$(dpkg -L odbc-mariadb | grep '/libmaodbc\.so$' | head -1)")"
  export ODBCSYSINI="$MARIADBDIR/odbc"
  export ODBCINI="$ODBCSYSINI/odbc.ini"
  mkdir -p "$ODBCSYSINI"
  cat >"$ODBCSYSINI/odbcinst.ini" <<EOF
[MariaDB Unicode]
Driver=$lib/libmaodbc.so

[PostgreSQL Unicode]
Driver=$lib/psqlodbcw.so

[SQLite3]
Driver=$lib/libsqlite3odbc.so
EOF
  : >"$ODBCINI"
}
