#!/usr/bin/env bash
# Developer check that the test suite still catches faults (not part of the
# test command): puts each fault of scripts/mutations/ into the product code in
# turn, builds ./build incrementally, runs the tests the fault names (SQLite, a
# throwaway PostgreSQL cluster and, through ODBC, also a throwaway MariaDB
# server) and expects one to fail. The file is restored after each fault.
#
#   scripts/mutation-check.sh [MUTATION_FILE...]
#
# A mutation file holds "# what goes wrong", "tests: <ctest -R pattern>", the
# consecutive lines to find, each as "- text" (indentation aside; the first may
# be the end of its line, the last the start of its line), and their
# replacement as "+ text" lines. The lines must be found exactly once in the
# tracked C++ sources outside tests/ and bench/, whichever file holds them.
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD="${BUILD_DIR:-build}"
mutations=("$@")
[ ${#mutations[@]} -gt 0 ] || mutations=(scripts/mutations/*)

source scripts/throwaway-postgres.sh
source scripts/throwaway-mariadb.sh
start_test_postgres
start_throwaway_mariadb
write_test_odbcinst
export TARVEL_TEST_MARIADB_ODBC="Driver={MariaDB Unicode};Socket=$MARIADB_SOCKET;Uid=root"
original="$PGDIR/original"
mutated=""
# Keeps the exit status for the trap.
restore() {
  local status=$?
  [ -z "$mutated" ] || cp "$original" "$mutated"
  mutated=""
  return $status
}
trap 'restore; status=$?; stop_throwaway_mariadb; (exit $status); stop_throwaway_postgres' EXIT

# mutate MUTATION_FILE: rewrites the one place, prints the file's path.
mutate() {
  git ls-files '*.cpp' '*.h' ':!tests/' ':!bench/' | ORIGINAL="$original" perl -e '
    open my $m, "<", $ARGV[0] or die "$!\n";
    my (@find, @into);
    while (<$m>) { chomp; push @find, quotemeta $1 if /^- (.*)/; push @into, $1 if /^\+ ?(.*)/; }
    my $re = join "[ \t]*\n[ \t]*", @find;
    my ($hits, $path, $text) = (0);
    while (my $f = <STDIN>) {
      chomp $f; local $/; open my $h, "<", $f or die "$f: $!\n"; my $s = <$h>;
      my $n = () = $s =~ /$re/g;
      ($path, $text) = ($f, $s) if $n;
      $hits += $n;
    }
    die "$hits Stellen statt einer\n" unless $hits == 1;
    open my $o, ">", $ENV{ORIGINAL} or die; print $o $text; close $o;
    my $into = join "\n", @into;
    $text =~ s/$re/$into/;
    open my $h, ">", $path or die; print $h $text; close $h;
    print $path;' "$1"
}

build() { cmake --build "$BUILD" -j"$(nproc)" --target tarvel_tests >"$PGDIR/build.log" 2>&1; }

cmake -S . -B "$BUILD" >/dev/null || exit 1
build || { tail -30 "$PGDIR/build.log"; exit 1; }
if ! ctest --test-dir "$BUILD" -j"$(nproc)" >"$PGDIR/ctest.log" 2>&1; then
  echo "mutation-check: die Tests scheitern schon ohne Fehler:" >&2
  sed -n '/tests FAILED/,$p' "$PGDIR/ctest.log" >&2
  exit 1
fi

caught=0
total=0
for file in "${mutations[@]}"; do
  name="$(basename "$file")"
  total=$((total + 1))
  if ! mutated="$(mutate "$file" 2>&1)"; then
    printf '%-30s FEHLT IM CODE (%s)\n' "$name" "$mutated"
    mutated=""
    continue
  fi
  if ! build; then
    printf '%-30s BAUT NICHT (%s)\n' "$name" "$mutated"
  elif ctest --test-dir "$BUILD" -R "$(sed -n 's/^tests: *//p' "$file")" -j"$(nproc)" --stop-on-failure \
    >"$PGDIR/ctest.log" 2>&1; then
    if grep -q "No tests were found" "$PGDIR/ctest.log"; then
      printf '%-30s KEIN TEST PASST ZU tests:\n' "$name"
    else
      printf '%-30s NOT caught   (%s)\n' "$name" "$mutated"
    fi
  else
    caught=$((caught + 1))
    by="$(grep -oE '[0-9]+ - [A-Za-z0-9_]+ \(' "$PGDIR/ctest.log" | sed 's/^[0-9]* - //; s/ ($//' | paste -sd, -)"
    printf '%-30s caught by %-20s (%s)\n' "$name" "$by" "$mutated"
  fi
  restore
done
build
echo "mutation-check: ${caught} von ${total} Fehlern gefunden"
[ "$caught" -eq "$total" ]
