#!/usr/bin/env bash
# Runs the cross-built QtTest programs (scripts/build-windows.sh) under Wine:
# one temporary Wine prefix for the run, every tst_*.exe offscreen with its
# own working folder and a reset profile (no settings, no cache, empty Temp),
# results written by QtTest to files, since what a program under Wine writes
# to its standard output may not reach this shell. The stand-in server runs
# on Linux, started through tools/tool_relay.py.
#
# Environment:
#   BUILD_WIN_DIR                  the Windows build folder (default build-win)
#   FURLANE_WINE_TEST_TIMEOUT      seconds one program may take (default 600)
#   FURLANE_WINE_TESTS             only these programs (space-separated names)
#   FURLANE_WINE_RESULTS           where results go (default BUILD_WIN_DIR/wine-test-results)
#   FURLANE_REQUIRE_WINE=1         missing Wine or programs fail instead of skip
#
# Prints "Windows (Wine): N passed, S skipped, F failed in P programs" and
# exits non-zero when a test fails or a program does not finish.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

CHECK_NAME="Windows test suite under Wine"
source "$ROOT/scripts/wine_common.sh"

BUILD_WIN_DIR=${BUILD_WIN_DIR:-build-win}
case "$BUILD_WIN_DIR" in /*) ;; *) BUILD_WIN_DIR="$ROOT/$BUILD_WIN_DIR" ;; esac
QT_DIR="$BUILD_WIN_DIR/qt/opt/qt5-mingw64"
LIMIT=${FURLANE_WINE_TEST_TIMEOUT:-600}
RESULTS=${FURLANE_WINE_RESULTS:-$BUILD_WIN_DIR/wine-test-results}
GAME_LOCK=/tmp/furlane-game.lock
# Programs that start a process named like the game: detection takes the
# first one it finds, also from another checkout's tests on this machine.
GAME_TESTS=" tst_gamedir tst_gamedir_window tst_gamedir_wine tst_install_flow "

shopt -s nullglob
programs=("$BUILD_WIN_DIR"/bin/tst_*.exe)
[[ ${#programs[@]} -gt 0 ]] || skip "no cross-built test programs in $BUILD_WIN_DIR/bin (run scripts/build-windows.sh)"
[[ -d "$QT_DIR/bin" && -d "$QT_DIR/plugins" ]] || skip "the Windows Qt is missing in $QT_DIR"
command -v python3 >/dev/null 2>&1 || skip "python3 is missing"

# Z:\ is the Unix root under Wine.
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/furlane-wintests.XXXXXX")
wine_prefix "$WORK"
relay_pid=""
cleanup() {
    [[ -n "$relay_pid" ]] && kill "$relay_pid" 2>/dev/null
    wine_stop
    rm -rf "$WORK"
}
trap cleanup EXIT
trap "exit 143" TERM INT

started=$SECONDS
wine_boot
wine_keep_server
PROFILE="$WINEPREFIX/drive_c/users/$(id -un)"
[[ -d "$PROFILE" ]] || PROFILE=$(dirname "$(find "$WINEPREFIX/drive_c/users" -mindepth 2 -maxdepth 2 -name AppData | head -n 1)")

python3 "$ROOT/tools/tool_relay.py" >"$WORK/relay.out" 2>"$WORK/relay.log" &
relay_pid=$!
for _ in $(seq 50); do
    grep -q '^PORT ' "$WORK/relay.out" 2>/dev/null && break
    sleep 0.2
done
relay_port=$(awk '/^PORT /{print $2; exit}' "$WORK/relay.out")
[[ -n "$relay_port" ]] || { cat "$WORK/relay.log"; fail "the tool relay did not start"; }

rm -rf "$RESULTS"
mkdir -p "$RESULTS"
export WINEPATH
WINEPATH=$(windows_path "$QT_DIR/bin")
# Wine hides the host's QT_* variables from Windows programs: they go into
# the prefix's user environment instead, which every program there inherits.
# The offscreen platform reads fonts from one folder: the machine's fonts.
mkdir -p "$WORK/fonts"
find /usr/share/fonts -type f \( -name '*.ttf' -o -name '*.otf' -o -name '*.ttc' \) \
    -exec ln -sf -t "$WORK/fonts" {} + 2>/dev/null
# NAME=VALUE into the prefix's user environment. A prefix that has just
# booted may still be settling: try a few times.
set_wine_env() {
    local attempt
    for attempt in 1 2 3 4 5; do
        "$WINE" reg add 'HKCU\Environment' /v "${1%%=*}" /d "${1#*=}" /f >"$WORK/reg.log" 2>&1 && return 0
        sleep 2
    done
    cat "$WORK/reg.log"
    fail "could not set ${1%%=*} in the Wine prefix"
}
for setting in "QT_QPA_PLATFORM=offscreen" "QT_PLUGIN_PATH=$(windows_path "$QT_DIR/plugins")" \
               "QT_QPA_FONTDIR=$(windows_path "$WORK/fonts")"; do
    set_wine_env "$setting"
done
export FURLANE_TOOL_RELAY=$relay_port
export FURLANE_SCRATCH_REGISTRY=1   # this prefix's registry is thrown away
export LC_ALL=C.UTF-8

passed=0 failed=0 skipped=0 count=0 lock_wait=0 broken=()
echo "== running the test programs under Wine (at most ${LIMIT}s each)"
# Runs one test program (NAME EXE [ARGS...]) in a fresh profile and adds its
# totals. Every run goes through here, so the scaled runs below are reset and
# reported like the rest.
run_program() {
    local name=$1 exe=$2
    shift 2
    count=$((count + 1))
    # A fresh profile: no settings in the registry, no cache, empty Temp.
    "$WINE" reg delete 'HKCU\Software\orvex' /f >/dev/null 2>&1
    rm -rf "$PROFILE/.cache" "$PROFILE/Temp"
    mkdir -p "$PROFILE/Temp" "$WORK/home/$name"
    result="$RESULTS/$name.txt"
    # Time spent waiting for another checkout's game tests is not the program's.
    # -o: Wine's long-lived helper processes must not inherit the lock.
    lock=()
    stamp="$WORK/lock-taken"
    rm -f "$stamp"
    if [[ "$GAME_TESTS" == *" $name "* ]] && command -v flock >/dev/null 2>&1; then
        lock=(flock -o "$GAME_LOCK" sh -c 'date +%s >"$0"; exec "$@"' "$stamp")
    fi
    begin=$(date +%s)
    (cd "$WORK/home/$name" && "${lock[@]}" timeout -k 10 "$LIMIT" "$WINE" "$exe" "$@" -o "$(windows_path "$result"),txt" \
        -o "$(windows_path "${result%.txt}.xml"),junitxml") \
        >"$RESULTS/$name.log" 2>&1
    status=$?
    totals=$(grep -a '^Totals:' "$result" 2>/dev/null | tail -n 1)
    p=$(sed -n 's/.* \([0-9]*\) passed.*/\1/p' <<<"$totals")
    f=$(sed -n 's/.* \([0-9]*\) failed.*/\1/p' <<<"$totals")
    s=$(sed -n 's/.* \([0-9]*\) skipped.*/\1/p' <<<"$totals")
    if [[ -z "$totals" ]]; then
        # Crashed or stopped by the time limit: the program counts as one failure.
        p=0 s=0 f=1
        why="no result (exit $status$([[ $status -eq 124 ]] && echo ", over ${LIMIT}s"))"
    else
        why="exit $status"
        [[ $status -ne 0 && $f -eq 0 ]] && f=1   # a clean result but a bad exit
    fi
    passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
    end=$(date +%s)
    if [[ -s "$stamp" ]]; then
        waited=$(($(cat "$stamp") - begin))
        why="$why, waited ${waited}s for the game lock"
        lock_wait=$((lock_wait + waited))
        begin=$(cat "$stamp")
    fi
    printf '%-28s %4d passed, %3d skipped, %3d failed  %4ds  %s\n' "$name" "$p" "$s" "$f" $((end - begin)) "$why"
    grep -a -E '^(SKIP|XFAIL)' "$result" 2>/dev/null | sed 's/^/    /'
    if [[ $f -gt 0 ]]; then
        broken+=("$name")
        if [[ -s "$result" ]]; then
            grep -a -A4 -E '^FAIL!' "$result" | head -n 60 | sed 's/^/    /'
            [[ -n "$totals" ]] || tail -n 15 "$result" | sed 's/^/    /'
        fi
        tail -n 15 "$RESULTS/$name.log" | sed 's/^/    log: /'
    fi
}

for exe in "${programs[@]}"; do
    name=$(basename "$exe" .exe)
    if [[ -n "${FURLANE_WINE_TESTS:-}" && " $FURLANE_WINE_TESTS " != *" $name "* ]]; then
        continue
    fi
    run_program "$name" "$exe"
done

# The cards again at 150 % and 200 % (a scaled Windows desktop): covers and
# the no-cover text are made at the screen's pixel size, the text centred.
cover_exe="$BUILD_WIN_DIR/bin/tst_cover_cache.exe"
if [[ -x "$cover_exe" && ( -z "${FURLANE_WINE_TESTS:-}" || " $FURLANE_WINE_TESTS " == *" tst_cover_cache "* ) ]]; then
    for factor in 1.5 2; do
        set_wine_env "QT_SCALE_FACTOR=$factor"
        run_program "tst_cover_cache@$factor" "$cover_exe" first_load_fetches_and_caches \
            no_request_without_cover_values not_found_writes_nothing
    done
    "$WINE" reg delete 'HKCU\Environment' /v QT_SCALE_FACTOR /f >/dev/null 2>&1
fi

echo "== Windows test suite took $((SECONDS - started))s (${lock_wait}s of it waiting for the game lock); results in $RESULTS"
[[ ${#broken[@]} -eq 0 ]] || echo "Failing Windows test programs: ${broken[*]}"
echo "Windows (Wine): $passed passed, $skipped skipped, $failed failed in $count programs"
[[ $failed -eq 0 ]]
