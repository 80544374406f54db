# Shared part of the checks that run Windows-only code under Wine.
# Source it after setting CHECK_NAME; it provides skip, fail, $WINE, $CXX_WIN,
# wine_prefix WORKDIR (exports a fresh prefix inside WORKDIR), wine_stop,
# make_locales DIR and in_locale LOCALE COMMAND..., and wine_boot [SELFTEST_EXE] (boots the prefix, then, when given, requires
# that a MinGW console program runs: SELFTEST_EXE without arguments must print
# its usage and exit with 2).
#
# Missing tools or a Wine that cannot run programs are reported as SKIPPED
# (exit 0) unless FURLANE_REQUIRE_WINE=1.

skip() {
    echo "SKIPPED: $CHECK_NAME: $*"
    if [[ "${FURLANE_REQUIRE_WINE:-0}" == 1 ]]; then
        exit 1
    fi
    exit 0
}
fail() {
    echo "FAILED: $CHECK_NAME: $*"
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

wine_prefix() {
    export WINEPREFIX="$1/prefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono/Gecko install prompts
    export DISPLAY=""                             # no windows; console programs only
}

wine_stop() {
    if [[ -n "${WINEPREFIX:-}" && -d "$WINEPREFIX" ]]; then
        timeout 20 wineserver -k >/dev/null 2>&1 || timeout 20 "$WINE" wineserver -k >/dev/null 2>&1
    fi
}

wine_boot() {
    local selftest_exe=${1:-} log_dir
    log_dir=$(dirname "$WINEPREFIX")
    echo "== setting up a Wine prefix in $WINEPREFIX"
    if ! timeout 300 "$WINE" wineboot -i >"$log_dir/wineboot.log" 2>&1; then
        tail -n 20 "$log_dir/wineboot.log"
        skip "'wine wineboot -i' failed or timed out"
    fi
    timeout 60 "$WINE" wineboot -s >/dev/null 2>&1 || true   # let the prefix settle
    [[ -n "$selftest_exe" ]] || return 0

    local status
    timeout 60 "$WINE" "$selftest_exe" >"$log_dir/selftest.log" 2>&1
    status=$?
    if [[ $status -ne 2 ]] || ! grep -q usage "$log_dir/selftest.log"; then
        cat "$log_dir/selftest.log"
        skip "Wine cannot run a MinGW console program here (exit $status)"
    fi
}

# One server for the whole run. A server that is not persistent starts to
# shut the prefix down (its services, then every process left) as soon as
# the last program ends; a program started in that moment is killed before
# it writes a line. "wineserver -p" is refused while another server runs (the
# one wineboot left), so that one is waited out first.
wine_keep_server() {
    local server=wineserver
    command -v wineserver >/dev/null 2>&1 || server=/usr/lib/wine/wineserver64
    timeout 60 "$server" -w >/dev/null 2>&1
    "$server" -p >/dev/null 2>&1 || fail "could not start a persistent wineserver"
}

# The locales whose code pages cmd must cope with: German (ANSI/OEM 1252/850),
# English (1252/437), Chinese (936/936). Wine takes its code pages from the
# Unix locale; these are made into DIR, so the system's are left alone.
LOCALE_NAMES=(de_DE en_US zh_CN)
make_locales() {
    LOCALES=$1
    mkdir -p "$LOCALES"
    local locale
    for locale in "${LOCALE_NAMES[@]}"; do
        localedef -i "$locale" -f UTF-8 "$LOCALES/$locale.UTF-8" >/dev/null 2>&1 || return 1
    done
}
# Runs COMMAND... in locale $1 (one of LOCALE_NAMES, made by make_locales).
in_locale() {
    local locale=$1
    shift
    env LOCPATH="$LOCALES" LANG="$locale.UTF-8" LC_ALL="$locale.UTF-8" "$@"
}
