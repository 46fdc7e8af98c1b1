#!/usr/bin/env bash
# Builds and runs every test: the Release build (unit, hosted-module and GUI
# tests under a virtual X display), then the same tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer, then the editor's
# threading tests built with ThreadSanitizer.
#   ./run-tests.sh           everything
#   ./run-tests.sh --quick   Release build only
set -euo pipefail
cd "$(dirname "$0")"

jobs="$(nproc)"
export VORN_REQUIRE_DISPLAY=1

run_suite() {
    local dir="$1"; shift
    cmake -S . -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$jobs"
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_suite build -DCMAKE_BUILD_TYPE=Release

if [ "${1:-}" != "--quick" ]; then
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    run_suite build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_SANITIZE=ON -DVORN_BUILD_BENCHMARKS=OFF

    # ThreadSanitizer: only the window running beside the audio thread needs
    # it, so only that test executable (and the module it hosts) is built.
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_TSAN=ON -DVORN_BUILD_BENCHMARKS=OFF
    cmake --build build-tsan -j "$jobs" --target VornHostedEditorTests
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --test-dir build-tsan --output-on-failure --no-tests=error -j "$jobs" \
        -R '^(HostedEditor|EditorBesideAudio)\.'
fi
