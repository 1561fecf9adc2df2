#!/usr/bin/env bash
# The shape of the product's code, checked by the test command: no file under
# the product folders has more than 350 lines, and no function more than 80
# (as pmccabe counts a function's lines). Lists each one over its bound and
# fails then.
set -euo pipefail
cd "$(dirname "$0")/.."

max_file_lines=350
max_function_lines=80
folders=(app batch components district cooperative importframe)
mapfile -t files < <(git ls-files "${folders[@]}" | grep -E '\.(cpp|h)$')
over=0
for file in "${files[@]}"; do
  lines=$(wc -l < "$file")
  if [ "$lines" -gt "$max_file_lines" ]; then
    echo "code-shape: $file has $lines lines (at most $max_file_lines)"
    over=1
  fi
  [[ $file == *.cpp ]] || continue
  # pmccabe -v: complexity, complexity, statements, first line, lines, file(line): function
  while IFS=$'\t' read -r _ _ _ first length where; do
    if [ "$length" -gt "$max_function_lines" ]; then
      echo "code-shape: $where has $length lines (at most $max_function_lines)"
      over=1
    fi
  done < <(pmccabe -v "$file" 2>/dev/null | grep -E '^[0-9]')
done
if [ "$over" -ne 0 ]; then
  echo "code-shape: split what is listed above into files or functions of their own" >&2
  exit 1
fi
echo "code-shape: every product file and function is within its bounds"
