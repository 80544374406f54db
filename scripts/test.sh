#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/deps.sh

BUILD_DIR=${BUILD_DIR:-build}
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Debug -DFURLANE_BUILD_TESTS=ON "${launcher[@]}" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"

linux_log="$BUILD_DIR/linux-suite.log"
{
    linux_status=0
    (
        export QT_QPA_PLATFORM=offscreen
        cd "$BUILD_DIR"
        ctest --output-on-failure -j1 --timeout 600
    ) 2>&1 || linux_status=$?
    echo "$linux_status" > "$linux_log.status"
} | tee "$linux_log"
linux_status=$(cat "$linux_log.status")

# The Windows build: furlane.exe, the test programs and the release zip.
windows_status=0
./scripts/build-windows.sh || windows_status=$?

# The cross-built test programs under Wine.
wine_status=0
if [ "$windows_status" -eq 0 ]; then
    ./scripts/test_windows.sh || wine_status=$?
fi

# That release end to end under Wine with the real window (it starts a
# stand-in game process).
e2e_status=0
if [ "$windows_status" -eq 0 ]; then
    ./scripts/e2e_wine.sh || e2e_status=$?
fi

if [ "$linux_status" -ne 0 ]; then
    # Repeated at the end, where a long run's log is still read.
    echo "test.sh: what failed in the Linux suite:"
    grep -E -A2 '^(FAIL!|XPASS|QFATAL)|\*\*\*(Failed|Timeout|Exception)' "$linux_log" | cut -c1-400 | head -60 || true
fi

if [ "$linux_status" -ne 0 ] || [ "$windows_status" -ne 0 ] || [ "$wine_status" -ne 0 ] || [ "$e2e_status" -ne 0 ]; then
    echo "test.sh: Linux suite exit status $linux_status, Windows build exit status $windows_status," \
         "Windows suite under Wine exit status $wine_status, Wine end-to-end check exit status $e2e_status"
    exit 1
fi
