#!/usr/bin/env bash
# Builds the app and runs it against the bundled stand-in server with the
# generated demo catalogue. Without a display it runs under Xvfb (on :87).
#
#   ./scripts/demo.sh [--screenshot FILE] [--seconds N]
#
# --screenshot FILE   take a picture of the screen after N seconds (default 8)
#                     and stop the demo; handy on machines without a display.
#
# The app runs in a home of its own, $BUILD_DIR/demo-home, made afresh at each
# start (never the user's settings, cover cache, install records or lock): a
# Steam library there names a demo game folder, which the app finds at start,
# and three skins are installed in it: one current, one outdated on the server
# ("更新") and one damaged ("文件损坏", "修复" in the installed view).
# Closing the window, or Ctrl+C here, stops the demo with its server and Xvfb.
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
DEMO_HOME=$(realpath -m "$BUILD_DIR/demo-home")
if [ ! -f "$DATA/.furlane-demo-data" ]; then
    echo "Generating demo data in $DATA ..."
fi
python3 tools/make_demo_data.py "$DATA" --force --home "$DEMO_HOME"

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

# Only now, after the build (whose compiler cache stays the user's): the
# app's settings, caches, records and lock all go below the demo home.
# X clients find their cookie below HOME unless told where it is.
[ -z "${XAUTHORITY:-}" ] && [ -f "$HOME/.Xauthority" ] && export XAUTHORITY="$HOME/.Xauthority"
export HOME="$DEMO_HOME"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" \
    XDG_DATA_HOME="$HOME/.local/share" XDG_STATE_HOME="$HOME/.local/state"
echo "Demo home: $DEMO_HOME (stop the demo by closing its window or with Ctrl+C)"
[ "$DISPLAY" = ":87" ] && echo "A picture of the screen meanwhile: DISPLAY=:87 import -window root shot.png"

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
