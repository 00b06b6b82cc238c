#!/usr/bin/env bash
# Everything `make test` runs, inside an Xvfb of its own for the tests that
# open a real window: every suite with ctest on the plain build, a short run of
# the benchmark so that it keeps working (its figures are printed, never judged
# here), every suite again on the build with AddressSanitizer, LeakSanitizer
# and UBSan, and the fuzz targets for FUZZ_SECONDS each. The real-window soak
# of the plain build runs alongside the rest.
# Usage: run-tests.sh BUILD [SANITIZE_BUILD [FUZZ_BUILD]]
# SOAK_ONLY=1 runs the two soaks alone and without a time limit: SOAK_MATCHES
# demonstration matches under the sanitizers, SOAK_SECONDS of the real window.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ -n "${MIRELUNE_XVFB:-}" ] || MIRELUNE_XVFB=1 exec "$here/with-xvfb.sh" "$0" "$@"

build=$(cd "${1:-build}" && pwd)
sanitize_build=${2:+$(cd "$2" && pwd)}
fuzz_build=${3:+$(cd "$3" && pwd)}
soak_only=${SOAK_ONLY:-}
soak_seconds=${SOAK_SECONDS:-210}

# The pointer waits in a corner, away from every game window, so that no key
# reaches a window that did not ask for the focus.
xdotool mousemove --sync 0 0 >/dev/null 2>&1 || true

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

status=0
# Runs one named phase and reports how it went and how long it took.
phase() {
  local name=$1 start=$SECONDS
  shift
  echo "== $name"
  if "$@"; then
    echo "== $name: passed in $((SECONDS - start)) s"
  else
    echo "== $name: FAILED after $((SECONDS - start)) s"
    status=1
  fi
}

suites() {
  (cd "$1" && shift && ctest --output-on-failure -j2 "$@")
}

# Minutes of the demonstration in the real window, from the plain build.
window_soak() {
  cd "$build"
  LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy SOAK_SECONDS=$soak_seconds \
    exec timeout $((soak_seconds + 600)) ./test_reliability --gtest_filter='WindowSoakTest.*'
}

soak_log=$build/window-soak.log
window_soak >"$soak_log" 2>&1 &
soak=$!
trap 'kill $soak 2>/dev/null || true' EXIT

not_the_window_soak=(-E '^WindowSoakTest\.')
if [ -n "$soak_only" ]; then
  [ -z "$sanitize_build" ] || phase "demonstration soak with the sanitizers" \
    suites "$sanitize_build" -R '^DemoSoakTest\.' --timeout 86400
else
  phase "tests" suites "$build" "${not_the_window_soak[@]}" --timeout 600
  phase "benchmark, quick" "$build/bench_mirelune" --quick
  [ -z "$sanitize_build" ] || phase "tests with the sanitizers" \
    suites "$sanitize_build" "${not_the_window_soak[@]}" --timeout 600
  [ -z "$fuzz_build" ] || phase "fuzzing" "$here/run-fuzzers.sh" "$fuzz_build" "$build/run" "${FUZZ_SECONDS:-45}"
fi

echo "== real-window soak (runs alongside)"
if wait $soak; then
  grep -E "VmRSS|OK \]" "$soak_log" || true
  echo "== real-window soak: passed"
else
  cat "$soak_log"
  echo "== real-window soak: FAILED"
  status=1
fi
trap - EXIT
exit $status
