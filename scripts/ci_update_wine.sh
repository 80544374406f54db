#!/usr/bin/env bash
# Checks the self-update's Windows side for real under Wine:
#  1. the replacement script "update.bat", written by the program's own writer
#     (tst_update --write-update-script) beside two MinGW-built stand-ins for
#     the old and the new executable, and started through the program's own
#     elevated launch: the old one must be killed and deleted, the new one
#     started, and the script must delete itself. cmd reads a batch file in
#     the OEM code page, so this runs under three locales (German 1252/850,
#     English 1252/437, Chinese 936/936, made with localedef into a folder of
#     our own) in folders named "Übersicht" and "工具" (and one with a blank
#     and a "%").
#  2. the Win32 elevated launch (src/core/update/elevated_launch_win.cpp), built
#     with MinGW into a small program that asks the shell to run a script:
#     the script must run and the launch be reported done; asked for a script
#     that does not exist, the launch must be reported failed with a reason.
#
#   scripts/ci_update_wine.sh            (uses $BUILD_DIR, default build)
#
# Exits 0 with a "SKIPPED" line when Wine or MinGW is missing or Wine cannot
# run programs here (FURLANE_REQUIRE_WINE=1 makes that a failure); exits 1
# when a check fails.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-build}
case "$BUILD_DIR" in /*) ;; *) BUILD_DIR="$ROOT/$BUILD_DIR" ;; esac

CHECK_NAME="update script check under Wine"
source "$ROOT/scripts/wine_common.sh"

WRITER="$BUILD_DIR/bin/tst_update"
if [[ ! -x "$WRITER" ]]; then
    cmake --build "$BUILD_DIR" --target tst_update -j2 >/dev/null || fail "cannot build tst_update in $BUILD_DIR"
fi
[[ -x "$WRITER" ]] || fail "$WRITER is missing"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/furlane-update-wine.XXXXXX")
wine_prefix "$WORK"
old_pid=""
cleanup() {
    [[ -n "$old_pid" ]] && kill "$old_pid" 2>/dev/null
    wine_stop
    rm -rf "$WORK"
}
trap cleanup EXIT

# Waits up to $1 seconds for the test "$2..." to hold.
wait_for() {
    local seconds=$1
    shift
    local i
    for ((i = 0; i < seconds * 10; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}
running() { kill -0 "$1" 2>/dev/null; }
stopped() { ! kill -0 "$1" 2>/dev/null; }

echo "== building the stand-in programs and the launch check with $CXX_WIN"
# Old and new executable: each leaves "<its own path>.started" beside itself;
# started with the argument "wait" it then waits (the running old program).
cat >"$WORK/stand_in.cpp" <<'EOF'
#include <windows.h>
#include <cwchar>

int wmain(int argc, wchar_t **argv)
{
    wchar_t path[MAX_PATH + 16];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 3;
    wcscat(path, L".started");
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 4;
    DWORD written = 0;
    WriteFile(f, "started\r\n", 9, &written, nullptr);
    CloseHandle(f);
    if (argc > 1 && wcscmp(argv[1], L"wait") == 0)
        Sleep(10 * 60 * 1000);
    return 0;
}
EOF
cat >"$WORK/launch_check.cpp" <<'EOF'
#include "core/update/elevated_launch.h"

#include <windows.h>

#include <cstdio>

// Standard output may not reach the Linux shell: the outcome goes to a file.
int wmain(int argc, wchar_t **argv)
{
    if (argc != 3) {
        std::puts("usage: launch_check SCRIPT OUTCOME_FILE");
        return 2;
    }
    const platform::LaunchResult result = platform::launch_elevated(argv[1]);
    FILE *out = _wfopen(argv[2], L"wb");
    if (!out)
        return 3;
    // UTF-8, so that a Chinese reason reads well on Linux.
    char reason[2048] = {0};
    WideCharToMultiByte(CP_UTF8, 0, result.error.c_str(), -1, reason, sizeof reason - 1, nullptr, nullptr);
    std::fprintf(out, "%s\n%s\ncode pages: ANSI %u, OEM %u\n", result.ok ? "launched" : "failed", reason,
                 GetACP(), platform::oem_code_page());
    std::fclose(out);
    return result.ok ? 0 : 1;
}
EOF
"$CXX_WIN" -std=c++17 -O2 -static -municode -Wall -Wextra "$WORK/stand_in.cpp" -o "$WORK/stand_in.exe" \
    || fail "the stand-in program does not compile with MinGW"
"$CXX_WIN" -std=c++17 -O2 -static -municode -Wall -Wextra -I"$ROOT/src" \
    "$WORK/launch_check.cpp" "$ROOT/src/core/update/elevated_launch_win.cpp" "$ROOT/src/core/platform/win_error_text.cpp" -o "$WORK/launch_check.exe" -lole32 \
    || fail "the Win32 elevated launch does not compile with MinGW"

# Without an argument the launch check prints its usage and exits with 2.
wine_boot "$WORK/launch_check.exe"

C="$WINEPREFIX/drive_c"

# --- 1. the replacement script ----------------------------------------------
make_locales "$WORK/locales" || skip "localedef cannot make the locales (Debian: apt-get install locales)"

# One update in folder C:\$2 under locale $1: the old program runs, the
# script is launched as the program launches it, and everything it must do
# is checked.
round_trip() {
    local locale=$1 folder=$2 app_dir="$C/$2" app_win="C:\\$2" status problems=()
    rm -rf "$app_dir"
    mkdir -p "$app_dir"
    cp "$WORK/stand_in.exe" "$app_dir/Furlane.exe"
    cp "$WORK/stand_in.exe" "$app_dir/Furlane_1.1.exe"
    "$WRITER" --write-update-script "$app_dir/update.bat" "$app_win" Furlane.exe Furlane_1.1.exe \
        || fail "the program could not write update.bat"

    (cd "$app_dir" && in_locale "$locale" timeout 600 "$WINE" "$app_win\\Furlane.exe" wait) >"$WORK/old.log" 2>&1 &
    old_pid=$!
    wait_for 60 test -f "$app_dir/Furlane.exe.started" || {
        cat "$WORK/old.log"
        skip "Wine did not start the old stand-in program in $app_win"
    }
    running "$old_pid" || skip "Wine did not keep the old stand-in program running"

    in_locale "$locale" timeout 120 "$WINE" "$WORK/launch_check.exe" "$app_win\\update.bat" "C:\\launched.txt" \
        >"$WORK/launch.log" 2>&1
    status=$?
    [[ $status -eq 0 ]] || problems+=("the launch of update.bat ended with status $status")
    wait_for 30 stopped "$old_pid" || problems+=("the old program still runs (taskkill)")
    wait_for 30 test -f "$app_dir/Furlane_1.1.exe.started" || problems+=("the new program was not started")
    wait_for 10 test ! -e "$app_dir/Furlane.exe" || problems+=("the old program was not deleted")
    wait_for 10 test ! -e "$app_dir/update.bat" || problems+=("update.bat did not delete itself")
    [[ -e "$app_dir/Furlane_1.1.exe" ]] || problems+=("the new program is gone")
    local pages
    pages=$(tr -d '\r' <"$C/launched.txt" 2>/dev/null | sed -n 3p)
    if [[ ${#problems[@]} -gt 0 ]]; then
        tr -d '\r' <"$C/launched.txt" 2>/dev/null
        ls -la "$app_dir"
        fail "$locale, $app_win ($pages): $(IFS=';'; echo "${problems[*]}")"
    fi
    kill "$old_pid" 2>/dev/null
    old_pid=""
    echo "OK: $locale ($pages), $app_win: update.bat killed and deleted the old program, started the new one and deleted itself"
}

echo "-- update.bat as written:"
"$WRITER" --write-update-script "$WORK/update.bat" 'C:\工具' Furlane.exe Furlane_1.1.exe || fail "the program could not write update.bat"
sed 's/\r$/<CR>/' "$WORK/update.bat"
round_trip en_US 'Furlane 100%'
for locale in "${LOCALE_NAMES[@]}"; do
    for folder in 'Übersicht' '工具'; do
        round_trip "$locale" "$folder"
    done
done

# --- 2. the elevated launch ---------------------------------------------------
LAUNCH_DIR="$C/Launch 100%"
mkdir -p "$LAUNCH_DIR"
printf '@echo off\r\necho ran> "C:\\Launch 100%%%%\\probe.ran"\r\nexit\r\n' >"$LAUNCH_DIR/probe.bat"
# Runs the launch check for script $1 (a Windows path in $LAUNCH_DIR), its
# outcome written to $LAUNCH_DIR/$2; prints both and returns its status.
run_launch_check() {
    local status
    timeout 120 "$WINE" "$WORK/launch_check.exe" "$1" "C:\\Launch 100%\\$2" >"$WORK/$2.log" 2>&1
    status=$?
    tr -d '\r' <"$WORK/$2.log" | sed 's/^/   launch_check: /'
    tr -d '\r' <"$LAUNCH_DIR/$2" 2>/dev/null | sed 's/^/   outcome: /'
    return $status
}

echo "== asking the shell to run 'C:\\Launch 100%\\probe.bat' elevated"
run_launch_check 'C:\Launch 100%\probe.bat' outcome.txt
launch_status=$?
[[ $launch_status -eq 0 ]] || fail "the launch check ended with status $launch_status"
[[ "$(head -n 1 "$LAUNCH_DIR/outcome.txt")" == launched ]] || fail "the launch was not reported done"
wait_for 60 test -f "$LAUNCH_DIR/probe.ran" || fail "the script asked for with ShellExecuteW runas did not run"
echo "OK: ShellExecuteW runas ran the script and the launch was reported done"

# A launch that cannot happen (here: no such script) must say so, with a
# reason a user can read, as a refused elevation prompt does on Windows.
echo "== asking the shell to run a script that does not exist"
run_launch_check 'C:\Launch 100%\missing.bat' missing.txt
missing_status=$?
[[ $missing_status -eq 1 ]] || fail "the launch of a missing script ended with status $missing_status, not 1"
[[ "$(head -n 1 "$LAUNCH_DIR/missing.txt")" == failed ]] || fail "the launch of a missing script was not reported failed"
reason=$(sed -n 2p "$LAUNCH_DIR/missing.txt")
[[ "$reason" == *"(错误代码 "[0-9]*")" && "$reason" != "未知错误"* ]] \
    || fail "the failed launch gives no readable reason: '$reason'"
echo "OK: a launch that did not happen is reported failed: $reason"
