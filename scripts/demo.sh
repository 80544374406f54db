#!/usr/bin/env bash
# Builds the app and runs it against the bundled stand-in server with the
# generated demo catalogue. Without a display it runs under Xvfb.
#
#   ./scripts/demo.sh [--screenshot FILE] [--seconds N]
#
# --screenshot FILE   take a picture of the screen after N seconds (default 8)
#                     and stop the demo; handy on machines without a display.
set -euo pipefail
cd "$(dirname "$0")/.."

SHOT=""
SECONDS_BEFORE_SHOT=8
while [ $# -gt 0 ]; do
    case "$1" in
        --screenshot) SHOT=$(realpath -m "$2"); shift 2 ;;
        --seconds) SECONDS_BEFORE_SHOT=$2; shift 2 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done

./scripts/deps.sh
if [ -n "$SHOT" ] && ! command -v import >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq imagemagick >/dev/null
fi

BUILD_DIR=${BUILD_DIR:-build}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$BUILD_DIR" "${launcher[@]}" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target furlane

DATA="$BUILD_DIR/demo-data"
if [ ! -f "$DATA/.furlane-demo-data" ]; then
    echo "Generating demo data in $DATA ..."
    python3 tools/make_demo_data.py "$DATA" --force
fi

# The app's compiled-in server is http://127.0.0.1:8765.
PORT=8765
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT INT TERM

python3 tools/catalog_server.py --data "$DATA" --port "$PORT" > "$BUILD_DIR/demo-server.out" &
pids+=($!)
for _ in $(seq 50); do
    grep -q '^PORT ' "$BUILD_DIR/demo-server.out" 2>/dev/null && break
    sleep 0.1
done
if ! grep -q '^PORT ' "$BUILD_DIR/demo-server.out"; then
    echo "The demo server could not listen on port $PORT (is another demo running?)" >&2
    exit 1
fi
echo "Demo server on http://127.0.0.1:$PORT"

if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:87
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
    echo "No display: running under Xvfb on $DISPLAY"
fi

if [ -n "$SHOT" ]; then
    "$BUILD_DIR/bin/furlane" &
    app=$!
    pids+=($app)
    sleep "$SECONDS_BEFORE_SHOT"
    import -window root "$SHOT"
    echo "Screenshot written to $SHOT"
    kill "$app" 2>/dev/null || true
else
    "$BUILD_DIR/bin/furlane"
fi
