#!/usr/bin/env bash
# Builds Tarvel (the window program, tarvel-batch and the demo database
# builder) and starts it. Without TARVEL_DATABASE it opens the embedded
# default database (created on first start) and fills it with the demo data.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tarvel tarvel-batch tarvel-demodb

if [ -z "${TARVEL_DATABASE:-}" ]; then
  build/examples/tarvel-demodb
fi
exec build/app/tarvel
