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

CHECK_NAME="Windows process listing check"
source "$ROOT/scripts/wine_common.sh"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/furlane-wine.XXXXXX")
wine_prefix "$WORK"
game_pid=""
cleanup() {
    [[ -n "$game_pid" ]] && kill "$game_pid" 2>/dev/null
    wine_stop
    rm -rf "$WORK"
}
trap cleanup EXIT

echo "== building the listing and the stand-in game with $CXX_WIN"
"$CXX_WIN" -std=c++17 -O2 -static -municode -Wall -Wextra -I"$ROOT/src" \
    "$ROOT/tests/support/windows/process_probe.cpp" "$ROOT/src/core/platform/win_processes.cpp" "$ROOT/src/core/platform/win_error_text.cpp" \
    -o "$WORK/process_probe.exe" || fail "the Win32 listing does not compile with MinGW"
"$CXX_WIN" -O2 -static "$ROOT/tests/support/windows/idle_program.cpp" -o "$WORK/idle_program.exe" \
    || fail "the stand-in game does not compile with MinGW"

# Without arguments the probe prints its usage and exits with 2.
wine_boot "$WORK/process_probe.exe"

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
