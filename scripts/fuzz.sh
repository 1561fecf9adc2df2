#!/usr/bin/env bash
# Fuzzes the workbook readers (xlsx, ods, xls, csv), the container of .xls
# workbooks (compoundfile) and the recordset filter with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer, each target for SECONDS
# (default 600), one per core at a time. Builds the sanitizer build first.
#
#   scripts/fuzz.sh [SECONDS [TARGET...]]     e.g. scripts/fuzz.sh 3600 fuzz_xls
#
# Each target starts from seeds made from the conformance corpus
# (tests/data/workbooks) in a temporary folder, so a run changes nothing in the
# repository. A crash, hang, leak, sanitizer report or uncaught exception fails
# the run; its input is kept in build-sanitize/fuzz-findings/. Such an input
# belongs in tests/data/workbooks/fail/ with its .expected file (an unpacked
# xlsx/ods input is turned into a package by tests/fuzz/seeds.py pack).
set -uo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-600}"
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_xlsx fuzz_ods fuzz_xls fuzz_csv fuzz_compoundfile fuzz_filter)

source scripts/sanitize-build.sh
build_sanitized --target "${targets[@]}" >/dev/null || { echo "fuzz.sh: Build fehlgeschlagen" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
findings="$SANITIZE_BUILD/fuzz-findings"
mkdir -p "$findings"
corpus=tests/data/workbooks

# The corpus files of one extension, less those refused for holding too many
# cells: reading one up to the limit takes seconds under the sanitizers, and
# their mutations would take most of a short run.
seed_files() {
  local file
  for file in "$corpus"/pass/*."$1" "$corpus"/fail/*."$1"; do
    grep -qs "zu viele Zellen" "${file%.*}.expected" || echo "$file"
  done
}

# seed TARGET FOLDER
seed() {
  local files=() extension="${1#fuzz_}"
  [ "$1" = fuzz_compoundfile ] && extension=xls
  case "$1" in
    fuzz_xlsx | fuzz_ods | fuzz_xls | fuzz_csv | fuzz_compoundfile)
      mapfile -t files < <(seed_files "$extension")
      cp "${files[@]}" "$2"/ ;;&
    fuzz_xlsx | fuzz_ods)
      /usr/bin/python3 tests/fuzz/seeds.py unpack "$2" "${files[@]}" ;;
    fuzz_filter)
      cp tests/fuzz/filter-seeds/* "$2"/ ;;
  esac
}

# run TARGET: fuzzes it, leaving its log and exit status in $work. An input
# counts as hanging after 60 s: one that fills a sheet up to the cell limit
# takes several seconds under the sanitizers on a busy machine.
run() {
  local target="$1" dict=()
  mkdir -p "$work/$target"
  seed "$target" "$work/$target"
  case "$target" in fuzz_xlsx | fuzz_ods) dict=(-dict=tests/fuzz/xml.dict) ;; esac
  "$SANITIZE_BUILD/tests/fuzz/$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/$target-" "${dict[@]}" "$work/$target" \
    >"$work/$target.log" 2>&1
  echo $? >"$work/$target.status"
}

for target in "${targets[@]}"; do
  # One per core.
  while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do wait -n; done
  run "$target" &
done
wait

stat_of() { sed -n "s/^stat::$1: *//p" "$log"; }
failed=0
for target in "${targets[@]}"; do
  log="$work/$target.log"
  if [ "$(cat "$work/$target.status")" -eq 0 ]; then
    printf '%-12s %9s Ausführungen in %4s s (%s/s), Korpus %s Dateien, keine Befunde\n' "$target" \
      "$(stat_of number_of_executed_units)" "$seconds" "$(stat_of average_exec_per_sec)" "$(ls "$work/$target" | wc -l)"
  else
    failed=1
    echo "$target: BEFUND (Eingabe in $findings/):"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|.*deadly signal|.*Test unit written|ALARM|.*out-of-memory)' "$log" | head -20
    tail -40 "$log"
  fi
done
exit $failed
