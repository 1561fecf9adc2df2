# Sourced by scripts/test.sh and scripts/fuzz.sh: the second build, made with
# clang under AddressSanitizer and UndefinedBehaviorSanitizer with the libFuzzer
# targets, and the sanitizer settings its programs run with.

SANITIZE_BUILD="${SANITIZE_BUILD_DIR:-build-sanitize}"
JOBS="$(nproc)"
# ccache when it is installed; the base folder lets worktrees share its hits.
COMPILER_LAUNCHER=()
if command -v ccache >/dev/null; then
  COMPILER_LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
fi

# A sanitizer finding ends the program with an error and a full stack; no
# leak of Tarvel's own is suppressed, only those of scripts/lsan.supp.
export ASAN_OPTIONS="detect_leaks=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# build_sanitized [cmake --build arguments, e.g. --target NAME...]
build_sanitized() {
  cmake -S . -B "$SANITIZE_BUILD" -DCMAKE_CXX_COMPILER=clang++ -DTARVEL_SANITIZE=ON -DTARVEL_FUZZ=ON \
    "${COMPILER_LAUNCHER[@]}" >/dev/null
  cmake --build "$SANITIZE_BUILD" -j"$JOBS" "$@"
}
