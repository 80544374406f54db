#!/usr/bin/env bash
# Checks the Win32 process listing for real: builds it with MinGW into a small
# console program, runs it under Wine next to a stand-in game (a MinGW program
# copied to ...\DreadHunger\Binaries\Win64\DreadHunger-Win64-Shipping.exe) and
# requires the game's full Windows path to be found.
#
# Exits 0 with a "SKIPPED" line when Wine or MinGW is missing or Wine cannot
# run programs on this machine (set FURLANE_REQUIRE_WINE=1 to make that a
# failure); exits 1 only when the listing fails to find the game.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

skip() {
    echo "SKIPPED: Windows process listing check: $*"
    if [[ "${FURLANE_REQUIRE_WINE:-0}" == 1 ]]; then
        exit 1
    fi
    exit 0
}
fail() {
    echo "FAILED: Windows process listing check: $*"
    exit 1
}

CXX_WIN=${CXX_WIN:-x86_64-w64-mingw32-g++}
WINE=${WINE:-}
if [[ -z "$WINE" ]]; then
    for candidate in wine wine64 /usr/lib/wine/wine64; do
        if command -v "$candidate" >/dev/null 2>&1; then
            WINE=$(command -v "$candidate")
            break
        fi
    done
fi
[[ -n "$WINE" ]] || skip "wine is not installed (Debian: apt-get install wine64)"
command -v "$CXX_WIN" >/dev/null 2>&1 || skip "$CXX_WIN is not installed (Debian: apt-get install g++-mingw-w64-x86-64)"
command -v timeout >/dev/null 2>&1 || skip "timeout (coreutils) is missing"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/furlane-wine.XXXXXX")
export WINEPREFIX="$WORK/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono/Gecko install prompts
export DISPLAY=""                             # no windows; console programs only
game_pid=""
cleanup() {
    [[ -n "$game_pid" ]] && kill "$game_pid" 2>/dev/null
    if [[ -d "$WINEPREFIX" ]]; then
        WINEPREFIX="$WINEPREFIX" timeout 20 wineserver -k >/dev/null 2>&1 \
            || WINEPREFIX="$WINEPREFIX" timeout 20 "$WINE" wineserver -k >/dev/null 2>&1
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

echo "== building the listing and the stand-in game with $CXX_WIN"
"$CXX_WIN" -std=c++17 -O2 -static -municode -Wall -Wextra -I"$ROOT/src" \
    "$ROOT/tests/support/windows/process_probe.cpp" "$ROOT/src/platform/win_processes.cpp" \
    -o "$WORK/process_probe.exe" || fail "the Win32 listing does not compile with MinGW"
"$CXX_WIN" -O2 -static "$ROOT/tests/support/windows/idle_program.cpp" -o "$WORK/idle_program.exe" \
    || fail "the stand-in game does not compile with MinGW"

echo "== setting up a Wine prefix in $WINEPREFIX"
if ! timeout 300 "$WINE" wineboot -i >"$WORK/wineboot.log" 2>&1; then
    tail -n 20 "$WORK/wineboot.log"
    skip "'wine wineboot -i' failed or timed out"
fi
timeout 60 "$WINE" wineboot -s >/dev/null 2>&1 || true   # let the prefix settle

# Wine must be able to run a MinGW console program at all: without arguments
# the probe prints its usage and exits with 2.
timeout 60 "$WINE" "$WORK/process_probe.exe" >"$WORK/selftest.log" 2>&1
selftest=$?
if [[ $selftest -ne 2 ]] || ! grep -q usage "$WORK/selftest.log"; then
    cat "$WORK/selftest.log"
    skip "Wine cannot run a MinGW console program here (exit $selftest)"
fi

# The game lives on drive C in a folder with a blank, as Steam libraries do.
GAME_WIN='C:\Games\Dread Hunger Test\DreadHunger\Binaries\Win64\DreadHunger-Win64-Shipping.exe'
GAME_DIR="$WINEPREFIX/drive_c/Games/Dread Hunger Test/DreadHunger/Binaries/Win64"
mkdir -p "$GAME_DIR"
cp "$WORK/idle_program.exe" "$GAME_DIR/DreadHunger-Win64-Shipping.exe"

echo "== starting the stand-in game: $GAME_WIN"
timeout 300 "$WINE" "$GAME_WIN" >"$WORK/game.log" 2>&1 &
game_pid=$!

echo "== listing the processes under Wine"
timeout 120 "$WINE" "$WORK/process_probe.exe" DreadHunger-Win64-Shipping.exe 60 >"$WORK/probe.log" 2>&1
probe=$?
cat "$WORK/probe.log"
if [[ $probe -eq 1 ]] && ! kill -0 "$game_pid" 2>/dev/null; then
    cat "$WORK/game.log"
    skip "Wine did not keep the stand-in game running"
fi
[[ $probe -eq 0 ]] || fail "the listing did not report the running game (exit $probe)"

found=$(head -n 1 "$WORK/probe.log" | tr -d '\r' | cut -f2)
if [[ "$found" != "$GAME_WIN" ]]; then
    fail "full path '$found', expected '$GAME_WIN'"
fi
echo "OK: Windows process listing found $found"
