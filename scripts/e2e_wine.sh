#!/usr/bin/env bash
# End-to-end check of the Windows release under Wine, with the real window
# (the "windows" platform plugin) on an Xvfb display run by openbox:
#  1. furlane.exe from the unzipped release starts against the stand-in
#     server with no folder stored and Steam's libraries (named by the
#     registry) holding the game: it takes that folder, logs its endpoints,
#     loads the catalogue and shows its window (screenshot kept as an artifact);
#  2. with a stand-in game running under the same Wine, "检测目录" is clicked
#     in the window: the game is found through the Toolhelp listing, the root
#     lands in the registry, and a skin installed with a card's "安装" button
#     lands whole in the game's mod folder;
#  3. the installer, Furlane-Setup-<version>.exe, installs silently (/S) for
#     the user: the program in %LOCALAPPDATA%\Programs\Furlane, a Start-menu
#     shortcut and an "Apps & features" entry; Furlane is started from the
#     shortcut's target and updates itself there: the server publishes the
#     next version (1.1 unless FURLANE_NEXT_VERSION says otherwise), whose
#     download is furlane.exe built as that version; the old program downloads
#     it, writes update.bat, launches it elevated and exits; the script ends
#     and deletes the old program, starts the new one and deletes itself;
#  4. display scales: furlane.exe at 144 DPI (Wine's LogPixels) on screens
#     where 150 % fits and where it does not, at 192 DPI, at 96 DPI on a
#     1366 x 768 screen with a 40-pixel task bar (a shorter window whose cards
#     scroll), and once at 96 DPI with all the host's fonts (a bitmap colour
#     emoji font among them); each time the window's size in pixels, a page of
#     cards whose zoom buttons show a magnifier and open the viewer, a
#     screenshot, and a clean close; then the uninstaller of 3, as "Apps &
#     features" starts it, removes the program, its shortcut and its entry and
#     leaves every skin in the game's mod folder as it was;
#  5. the self-update of 3 again, from folders named Übersicht and 工具 under
#     German, English and Chinese code pages (cmd reads update.bat in the OEM
#     code page);
#  6. signed updates: 1.0 and the next version signed with a throwaway
#     certificate (scripts/sign_exe.sh) update as in 3; then four refusals,
#     each ending with the "程序错误" box, exit status 1, no update.bat and the
#     old program untouched: the next version unsigned, signed by another
#     publisher (same common name, another organisation), changed after
#     signing, and named by an http:// address that serves a changed copy.
#     The unsigned round trip of 3 logs that the update went unchecked.
#
#   scripts/e2e_wine.sh        (uses $BUILD_WIN_DIR, default build-win;
#                               FURLANE_E2E_DISPLAY_ONLY=1 skips 2, 3, 5 and 6)
#
# Needs the release zip and the Windows build folder of scripts/build-windows.sh,
# where it builds the next version's program (only the version differs; see
# tests/CMakeLists.txt). Pictures and the program's log go to
# $BUILD_WIN_DIR/e2e/. Runs in a private network namespace when it can, so
# that the server may take the port the build names. It starts a process
# named like the game: don't run it beside tests that do the same.
# Exits 0 with a "SKIPPED" line when Wine, MinGW or the display tools are
# missing (FURLANE_REQUIRE_WINE=1 makes that a failure); exits 1 when a check
# fails.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_WIN_DIR=${BUILD_WIN_DIR:-build-win}
case "$BUILD_WIN_DIR" in /*) ;; *) BUILD_WIN_DIR="$ROOT/$BUILD_WIN_DIR" ;; esac

CHECK_NAME="Windows end-to-end check"
source "$ROOT/scripts/wine_common.sh"
for tool in Xvfb openbox xdotool import python3; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing (run scripts/deps.sh)"
done

# A private loopback: the release build talks to a fixed port, which another
# program on this machine may hold.
if [[ -z "${FURLANE_E2E_INNER:-}" ]]; then
    if unshare -n sh -c 'ip link set lo up' 2>/dev/null; then
        FURLANE_E2E_INNER=netns exec unshare -n bash "$ROOT/scripts/e2e_wine.sh" "$@"
    fi
    FURLANE_E2E_INNER=shared
elif [[ "$FURLANE_E2E_INNER" == netns ]]; then
    ip link set lo up || fail "cannot bring up the loopback of the network namespace"
fi

STARTED=$(date +%s)
step() { echo "== [$(($(date +%s) - STARTED)) s] $*"; }

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD_WIN_DIR/CMakeCache.txt" 2>/dev/null | head -n 1; }
[[ -f "$BUILD_WIN_DIR/CMakeCache.txt" ]] || fail "$BUILD_WIN_DIR is not configured (run scripts/build-windows.sh first)"
VERSION=$(cache_value FURLANE_VERSION)
VERSION=${VERSION:-1.0}
NEXT_VERSION=$(cache_value FURLANE_NEXT_VERSION)
[[ -n "$NEXT_VERSION" ]] || fail "$BUILD_WIN_DIR has no FURLANE_NEXT_VERSION (a build with the test programs is needed)"
python3 -c 'import sys; sys.exit(sys.argv[1] <= sys.argv[2])' "$NEXT_VERSION" "$VERSION" \
    || fail "FURLANE_NEXT_VERSION $NEXT_VERSION is not newer than the release's $VERSION"
ZIP="$ROOT/dist/Furlane-$VERSION-win64.zip"
[[ -f "$ZIP" ]] || fail "$ZIP is missing (run scripts/build-windows.sh first)"
SERVER=$(cache_value FURLANE_SERVER)
SERVER=${SERVER:-http://127.0.0.1:8765}
[[ "$SERVER" =~ ^http://127\.0\.0\.1:([0-9]+)/?$ ]] \
    || skip "the build talks to $SERVER; this check serves only http://127.0.0.1:PORT"
PORT=${BASH_REMATCH[1]}
ARTIFACTS="$BUILD_WIN_DIR/e2e"
rm -rf "$ARTIFACTS"
mkdir -p "$ARTIFACTS"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/furlane-e2e.XXXXXX")
wine_prefix "$WORK"
# A crash ends the program at once: no debugger that waits on the display.
# No Linux menu entries for the installer's shortcut in the user's home.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d;winemenubuilder.exe=d"
pids=()
cleanup() {
    wine_stop
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

# Waits up to $1 seconds for the command "$2..." to succeed.
wait_for() {
    local until=$((SECONDS + $1))
    shift
    while ((SECONDS < until)); do
        "$@" && return 0
        sleep 0.2
    done
    "$@"
}
gone() { ! kill -0 "$1" 2>/dev/null; }
shot() { import -window root "$ARTIFACTS/$1" 2>/dev/null || echo "   (no screenshot $1)"; }
failed() {
    shot failure.png
    if find_log; then
        tr -d '\r' <"$LOG" | tail -n 30 | sed 's/^/   log: /'
        cp "$LOG" "$ARTIFACTS/"
    fi
    ls -la "${APP_DIR:-}" >"$ARTIFACTS/program-folder.txt" 2>&1
    cp "$WORK/app.out" "$ARTIFACTS/wine-output.txt" 2>/dev/null
    fail "$*"
}

# --- the stage: programs, data, server, display, Wine ------------------------
step "building the stand-in game and the $NEXT_VERSION program"
"$CXX_WIN" -O2 -static "$ROOT/tests/support/windows/idle_program.cpp" -o "$WORK/idle_program.exe" \
    || fail "the stand-in game does not compile with MinGW"
cmake --build "$BUILD_WIN_DIR" --target furlane_next -j"$(nproc)" >"$WORK/next.log" 2>&1 \
    || { tail -n 30 "$WORK/next.log"; fail "cannot build furlane.exe as $NEXT_VERSION"; }
NEXT_EXE="$BUILD_WIN_DIR/bin/furlane_next.exe"

DATA_CACHE="$BUILD_WIN_DIR/e2e-data"
if [[ ! -f "$DATA_CACHE/.furlane-demo-data" ]]; then
    step "generating the demo catalogue"
    python3 "$ROOT/tools/make_demo_data.py" "$DATA_CACHE" --force >"$WORK/data.log" 2>&1 \
        || { cat "$WORK/data.log"; fail "cannot generate the demo data"; }
fi
cp -r "$DATA_CACHE" "$WORK/data" || fail "cannot copy the demo data"

python3 "$ROOT/tools/catalog_server.py" --data "$WORK/data" --port "$PORT" >"$WORK/server.out" 2>"$WORK/server.err" &
pids+=($!)
wait_for 10 grep -q '^PORT ' "$WORK/server.out" || {
    cat "$WORK/server.err"
    fail "the stand-in server cannot listen on 127.0.0.1:$PORT (network: $FURLANE_E2E_INNER)"
}
requests() { python3 -c 'import json,sys,urllib.request as u; [print(r["method"], r["path"]) for r in json.load(u.urlopen(sys.argv[1]))]' "http://127.0.0.1:$PORT/__control/requests"; }
served() { requests | grep -F "$1" >/dev/null; }

# An X screen of the size $1 (WIDTHxHEIGHT, or WIDTHxHEIGHT+BAR for a task
# bar of BAR pixels at the bottom, which openbox keeps out of the work area)
# run by openbox; $DISPLAY names it. A screen started earlier is stopped
# first, with Wine, which holds it.
X_PIDS=()
start_screen() {
    local pid size=${1%+*} bar=0
    [[ "$1" == *+* ]] && bar=${1##*+}
    cat >"$WORK/openbox.xml" <<OPENBOX
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <margins><top>0</top><bottom>$bar</bottom><left>0</left><right>0</right></margins>
</openbox_config>
OPENBOX
    if ((${#X_PIDS[@]})); then
        wine_stop
        for pid in "${X_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
        X_PIDS=()
    fi
    rm -f "$WORK/display"
    exec 3>"$WORK/display"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp >>"$WORK/xvfb.log" 2>&1 &
    X_PIDS+=($!)
    pids+=($!)
    exec 3>&-
    wait_for 20 test -s "$WORK/display" || fail "Xvfb did not start"
    export DISPLAY=":$(head -n 1 "$WORK/display")"
    openbox --config-file "$WORK/openbox.xml" >>"$WORK/openbox.log" 2>&1 &
    X_PIDS+=($!)
    pids+=($!)
}
start_screen 1280x1024

# Wine takes every font of the fontconfig folders. Windows has no colour
# emoji font made only of bitmaps, as Linux desktops have (Noto Color Emoji,
# which Wine lists as a raster font without outline metrics): the runs that
# stand for Windows see the CJK outline fonts only; one run below sees all
# the host's fonts.
cat >"$WORK/fonts.conf" <<FONTS
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <dir>/usr/share/fonts/opentype</dir>
  <cachedir>$WORK/fontconfig</cachedir>
</fontconfig>
FONTS
export FONTCONFIG_FILE="$WORK/fonts.conf"

step "booting a Wine prefix (display $DISPLAY, network: $FURLANE_E2E_INNER)"
timeout 300 "$WINE" wineboot -i >"$WORK/wineboot.log" 2>&1 || {
    tail -n 20 "$WORK/wineboot.log"
    skip "'wine wineboot -i' failed or timed out"
}
C="$WINEPREFIX/drive_c"
python3 -m zipfile -e "$ZIP" "$C" || fail "cannot unzip $ZIP"
APP_DIR="$C/Furlane-$VERSION-win64"
[[ -f "$APP_DIR/furlane.exe" ]] || fail "the zip has no Furlane-$VERSION-win64\\furlane.exe"

GAME_ROOT_WIN='C:\Games\Dread Hunger'
GAME_ROOT="$C/Games/Dread Hunger"
GAME_EXE_WIN="$GAME_ROOT_WIN"'\DreadHunger\Binaries\Win64\DreadHunger-Win64-Shipping.exe'
MOD_DIR="$GAME_ROOT/DreadHunger/Content/Paks/orvexs"
mkdir -p "$GAME_ROOT/DreadHunger/Binaries/Win64" "$GAME_ROOT/DreadHunger/Content/Paks"
cp "$WORK/idle_program.exe" "$GAME_ROOT/DreadHunger/Binaries/Win64/DreadHunger-Win64-Shipping.exe"
echo "base package" >"$GAME_ROOT/DreadHunger/Content/Paks/DreadHunger-WindowsNoEditor.pak"

# Starts furlane.exe from its own folder, through the command words "$@"
# when given (in_locale LOCALE); $APP_PID is the Linux process.
start_app() {
    if (($#)); then
        (cd "$APP_DIR" && "$@" timeout 600 "$WINE" furlane.exe) >>"$WORK/app.out" 2>&1 &
    else
        (cd "$APP_DIR" && exec timeout 600 "$WINE" furlane.exe) >>"$WORK/app.out" 2>&1 &
    fi
    APP_PID=$!
    pids+=($APP_PID)
}
# The window's log file, in the cache folder of Wine's user.
find_log() {
    LOG=$(find "$C/users" -path '*/.cache/Furlane/furlane.log' 2>/dev/null | head -n 1)
    [[ -n "$LOG" ]]
}
logged() { find_log && tr -d '\r' <"$LOG" | tail -n +"${1}" | grep -qF -- "$2"; }
window() { xdotool search --onlyvisible --name '^Furlane$' 2>/dev/null | head -n 1; }
has_window() { [[ -n "$(window)" ]]; }
# "WIDTHxHEIGHT" of the window's client area in pixels.
window_size() {
    local WIDTH= HEIGHT=
    eval "$(xdotool getwindowgeometry --shell "$(window)" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=')"
    echo "${WIDTH}x${HEIGHT}"
}
sized() { [[ "$(window_size)" == "$1" ]]; }
# Whether a window titled exactly $1 is shown.
shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
# Prints "x top bottom" of the topmost, then leftmost, patch of the colour $1
# (rrggbb) at least 30 pixels wide and $2 pixels tall, below the screen row
# $3: x is the patch's middle; top and bottom are its first and last row.
# With $4 = last, x is the middle of the last run of the colour on that row.
find_patch() {
    import -window root -depth 8 "$WORK/screen.ppm" 2>/dev/null || return 1
    python3 - "$WORK/screen.ppm" "$@" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
fields, pos = [], 0
while len(fields) < 4:
    while data[pos:pos + 1].isspace():
        pos += 1
    if data[pos:pos + 1] == b"#":
        pos = data.index(b"\n", pos)
        continue
    end = pos
    while not data[end:end + 1].isspace():
        end += 1
    fields.append(data[pos:end])
    pos = end
pos += 1
assert fields[0] == b"P6" and fields[3] == b"255"
width, height = int(fields[1]), int(fields[2])
colour, min_height, below = bytes.fromhex(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
def at(x, y):
    offset = pos + (y * width + x) * 3
    return data[offset:offset + 3]
needle = colour * 30
for y in range(below + 1, height):
    row = data[pos + y * width * 3:pos + (y + 1) * width * 3]
    found = row.find(needle)
    while found != -1:
        if found % 3:
            found = row.find(needle, found + 1)
            continue
        start = x = found // 3
        while x < width and at(x, y) == colour:
            x += 1
        found = row.find(needle, x * 3)
        bottom = y
        while bottom + 1 < height and at(start + 2, bottom + 1) == colour:
            bottom += 1
        if bottom - y + 1 >= min_height:
            if len(sys.argv) > 5 and sys.argv[5] == "last":
                # The same row's last run of the colour instead.
                x = width - 1
                while at(x, y) != colour:
                    x -= 1
                end = x + 1
                while x > 0 and at(x - 1, y) == colour:
                    x -= 1
                start, x = x, end
            print((start + x) // 2, y, bottom)
            sys.exit(0)
sys.exit(1)
PY
}
# Clicks the patch "find_patch $1 $2 $3" finds, $4 pixels below its top (in
# its middle when $4 is empty); sets $PATCH_TOP to the patch's top row.
click_patch() {
    local x top bottom
    read -r x top bottom < <(find_patch "$1" "$2" "$3") || return 1
    [[ -n "$x" ]] || return 1
    PATCH_TOP=$top
    xdotool mousemove "$x" $((${4:-0} > 0 ? top + ${4:-0} : (top + bottom) / 2)) click 1
}

passed=()

# --- 1. start, endpoints, catalogue, window ----------------------------------
step "starting the stand-in game: $GAME_EXE_WIN"
(cd "$GAME_ROOT/DreadHunger/Binaries/Win64" && exec timeout 900 "$WINE" "$GAME_EXE_WIN") >"$WORK/game.log" 2>&1 &
pids+=($!)

# Steam, as the registry names it, with the game in its second library: the
# first start, with no folder stored, takes that folder without a click.
STEAM="$C/Program Files (x86)/Steam"
STEAM_LIBRARY="$C/SteamLibrary"
STEAM_GAME_WIN='C:\SteamLibrary\steamapps\common\Dread Hunger'
mkdir -p "$STEAM/steamapps" "$STEAM_LIBRARY/steamapps/common/Dread Hunger/DreadHunger/Content/Paks"
printf '"libraryfolders"\r\n{\r\n\t"0"\r\n\t{\r\n\t\t"path"\t\t"C:\\\\Program Files (x86)\\\\Steam"\r\n\t}\r\n\t"1"\r\n\t{\r\n\t\t"path"\t\t"C:\\\\SteamLibrary"\r\n\t}\r\n}\r\n' \
    >"$STEAM/steamapps/libraryfolders.vdf"
printf '"AppState"\n{\n\t"appid"\t\t"1418630"\n\t"name"\t\t"Dread Hunger"\n\t"installdir"\t\t"Dread Hunger"\n}\n' \
    >"$STEAM_LIBRARY/steamapps/appmanifest_1418630.acf"
echo "base package" >"$STEAM_LIBRARY/steamapps/common/Dread Hunger/DreadHunger/Content/Paks/DreadHunger-WindowsNoEditor.pak"
timeout 60 "$WINE" reg add 'HKCU\Software\Valve\Steam' /v SteamPath /d 'c:/program files (x86)/steam' /f >/dev/null 2>&1 \
    || fail "cannot name Steam's folder in the registry"

step "starting furlane.exe $VERSION from the unzipped release"
start_app
wait_for 90 has_window || failed "no Furlane window within 90 s"
wait_for 30 logged 1 "✓ 检测成功: $STEAM_GAME_WIN" || failed "the first start did not take the game folder in Steam's library"
steam_root=$(timeout 60 "$WINE" reg query 'HKCU\Software\orvex\DreadHunger' /v game_dir 2>/dev/null \
    | tr -d '\r' | sed -n 's/^ *game_dir *REG_SZ *//p' | tr '/' '\\')
[[ "$steam_root" == "$STEAM_GAME_WIN" ]] || failed "the registry holds game_dir '$steam_root', expected '$STEAM_GAME_WIN'"
echo "OK: the first start took the game folder from Steam's libraries: $steam_root"
wait_for 60 logged 1 "IMAGE_DOWNLOAD_API: " || failed "the endpoints were not logged"
endpoint_lines=$(tr -d '\r' <"$LOG" | grep -A4 -F "API地址设置完成:" | head -n 5)
echo "$endpoint_lines" | sed 's/^/   log: /'
for name in Instructions_API BASE_API SKIN_DOWNLOAD_API IMAGE_DOWNLOAD_API; do
    grep -qF "  $name: http://127.0.0.1:$PORT/" <<<"$endpoint_lines" || failed "no endpoint line for $name"
done
wait_for 60 served /index_skins.php || failed "the catalogue was never requested"
wait_for 30 logged 1 "当前已是最新版本" || failed "the update check did not find $VERSION up to date"
if tr -d '\r' <"$LOG" | grep -E "加载分类失败|加载皮肤列表失败"; then
    failed "the catalogue did not load"
fi
# The main category buttons: white with a grey frame.
wait_for 30 find_patch d1d5db 1 0 >/dev/null || failed "no category buttons are shown"
shot window.png   # the folder row shows the folder found in Steam's library
size=$(window_size)
[[ "$size" == 970x870 ]] || failed "the window is $size pixels at 96 DPI, expected 970x870"
passed+=("start, endpoints, catalogue, window")
echo "OK: furlane.exe started, logged its endpoints, loaded the catalogue and shows its window ($ARTIFACTS/window.png)"

if [[ "${FURLANE_E2E_DISPLAY_ONLY:-}" != 1 ]]; then
# --- 2. game detection, registry, install ------------------------------------
step "clicking 检测目录"
# The three buttons of the folder row are the topmost blue ones.
click_patch 3b82f6 10 0 || failed "the 检测目录 button was not found on the screen"
registry_root() {
    timeout 60 "$WINE" reg query 'HKCU\Software\orvex\DreadHunger' /v game_dir 2>/dev/null \
        | tr -d '\r' | sed -n 's/^ *game_dir *REG_SZ *//p'
}
root_stored() { [[ "$(registry_root | tr '/' '\\')" == "$GAME_ROOT_WIN" ]]; }
wait_for 30 root_stored || failed "the registry holds game_dir '$(registry_root)', expected '$GAME_ROOT_WIN'"
wait_for 10 logged 1 "✓ 检测成功: $GAME_ROOT_WIN" || failed "the window did not show the root '$GAME_ROOT_WIN'"
echo "OK: 检测目录 found the game through the process listing; registry game_dir = $(registry_root)"

step "choosing the first main category, then 全部, then the first card's 安装"
# Unchecked category buttons are white with a grey frame: the topmost frame
# line is the first main category's, the next one well below it is 全部's.
click_patch d1d5db 1 0 14 || failed "no main category button was found on the screen"
sleep 1
click_patch d1d5db 1 $((PATCH_TOP + 40)) 12 || failed "the subcategory 全部 was not found on the screen"
wait_for 30 find_patch 4caf50 10 0 >/dev/null || failed "no card with an 安装 button was shown"
wait_for 30 served /subcutaneous/index_image_download.php || failed "no cover was requested"
sleep 2   # the covers paint, the cards settle their installed state
shot category.png
click_patch 4caf50 10 0 || failed "no 安装 button was found on the screen"
installed_whole() {
    local files name original count=0
    files=$(find "$MOD_DIR" -maxdepth 1 -type f 2>/dev/null)
    [[ -n "$files" ]] || return 1
    while IFS= read -r name; do
        case "$name" in *.pak | *.sig) ;; *) return 1 ;; esac
        original=$(find "$WORK/data/skins" -type f -name "$(basename "$name")" | head -n 1)
        [[ -n "$original" ]] && cmp -s "$original" "$name" || return 1
        count=$((count + 1))
    done <<<"$files"
    [[ $count -eq 2 ]]
}
wait_for 60 installed_whole || {
    ls -la "$MOD_DIR" 2>&1
    failed "the skin's two files did not land whole in the mod folder"
}
shot installed.png
passed+=("detection, registry, install")
echo "OK: the skin's files landed whole in $GAME_ROOT_WIN\\DreadHunger\\Content\\Paks\\orvexs: $(cd "$MOD_DIR" && ls | tr '\n' ' ')"
# A signal to a Wine process ends in a crash; Windows' own way is clean.
timeout 60 "$WINE" taskkill /F /IM furlane.exe >/dev/null 2>&1
wait_for 20 gone "$APP_PID" || failed "furlane.exe did not end"

# --- 3. the installer, and the self-update round trip in its folder ----------
SETUP="$ROOT/dist/Furlane-Setup-$VERSION.exe"
[[ -f "$SETUP" ]] || failed "$SETUP is missing (run scripts/build-windows.sh first)"
step "installing with $(basename "$SETUP") /S"
timeout 180 "$WINE" "$SETUP" /S >>"$WORK/app.out" 2>&1 || failed "the silent install ended with status $?"
# The Windows spelling of a path below drive C.
windows_path() { local path=${1#"$C"/}; path=${path//\//\\}; echo "C:\\$path"; }
UNINSTALL_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Furlane'
uninstall_value() {
    timeout 60 "$WINE" reg query "$UNINSTALL_KEY" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
INSTALLED=$(find "$C/users" -maxdepth 6 -type d -ipath '*/AppData/Local/Programs/Furlane' | head -n 1)
[[ -n "$INSTALLED" ]] || failed "nothing was installed in %LOCALAPPDATA%\\Programs\\Furlane"
INSTALLED_WIN=$(windows_path "$INSTALLED")
while IFS= read -r file; do
    cmp -s "$APP_DIR/$file" "$INSTALLED/$file" || failed "the installed $file differs from the zip's"
done < <(cd "$APP_DIR" && find . -type f | sed 's|^\./||')
[[ -f "$INSTALLED/app.ico" && -f "$INSTALLED/uninstall.exe" ]] || failed "no app.ico or uninstall.exe in $INSTALLED_WIN"
SHORTCUT=$(find "$C/users" -ipath '*/Start Menu/Programs/Furlane.lnk' | head -n 1)
[[ -n "$SHORTCUT" ]] || failed "the install made no Start-menu shortcut Furlane.lnk"
# Whether the shortcut $1 names the program $2 (a Windows path).
shortcut_leads_to() {
    python3 - "$1" "$2" <<'PY'
import sys
link = open(sys.argv[1], "rb").read().lower()
target = sys.argv[2].lower()
sys.exit(0 if target.encode("utf-16-le") in link or target.encode("latin-1") in link else 1)
PY
}
shortcut_leads_to "$SHORTCUT" "$INSTALLED_WIN\\furlane.exe" || failed "the shortcut does not lead to $INSTALLED_WIN\\furlane.exe"
for value in "DisplayName=Furlane" "DisplayVersion=$VERSION" "Publisher=Furlane" \
             "UninstallString=\"$INSTALLED_WIN\\uninstall.exe\"" "DisplayIcon=$INSTALLED_WIN\\app.ico"; do
    got=$(uninstall_value "${value%%=*}")
    want=${value#*=}
    [[ "${got,,}" == "${want,,}" ]] || failed "Apps & features: ${value%%=*} is '$got', expected '$want'"
done
passed+=("silent per-user install")
echo "OK: installed in $INSTALLED_WIN with a Start-menu shortcut and an Apps & features entry"

step "publishing $NEXT_VERSION and starting the installed furlane.exe $VERSION from its shortcut"
APP_DIR=$INSTALLED
NEXT_NAME="Furlane-$NEXT_VERSION.exe"
cp "$NEXT_EXE" "$WORK/data/files/$NEXT_NAME"
printf '{"Furlane代理版本": "%s", "Furlane代理下载地址": "@@BASE@@/files/%s"}\n' "$NEXT_VERSION" "$NEXT_NAME" \
    >"$WORK/data/version.json"
# Checks that the furlane.exe started last in $APP_DIR updated itself: it
# exits 0, update.bat deletes it, starts the published next version (which
# logs after line $log_from) and deletes itself. $1 says where, for failures.
updated_itself() {
    local where=$1 status
    wait_for 120 gone "$APP_PID" || failed "furlane.exe $VERSION$where did not exit for the update within 120 s"
    wait "$APP_PID"
    status=$?
    [[ $status -eq 0 ]] || failed "furlane.exe $VERSION$where exited with status $status during the update"
    wait_for 60 test ! -e "$APP_DIR/furlane.exe" || failed "update.bat did not delete the old furlane.exe$where"
    wait_for 60 logged "$log_from" "当前已是最新版本" \
        || failed "furlane.exe $NEXT_VERSION$where did not start or did not find itself up to date"
    wait_for 30 test ! -e "$APP_DIR/update.bat" || failed "update.bat did not delete itself$where"
    cmp -s "${PUBLISHED:-$NEXT_EXE}" "$APP_DIR/$NEXT_NAME" || failed "$NEXT_NAME$where differs from the published file"
}
log_from=$(($(wc -l <"$LOG") + 1))
# As the Start menu does: the shell opens the shortcut and starts its target.
(cd "$WORK" && exec timeout 600 "$WINE" start /wait /unix "$SHORTCUT") >>"$WORK/app.out" 2>&1 &
APP_PID=$!
pids+=($APP_PID)
updated_itself " in $INSTALLED_WIN"
logged "$log_from" "当前程序没有数字签名，更新文件未经签名校验" \
    || failed "the unsigned furlane.exe $VERSION did not log that the update went unchecked"
wait_for 60 has_window || failed "furlane.exe $NEXT_VERSION shows no window"
shot updated.png
# The updated program keeps the Start menu and "Apps & features" right.
shortcut_leads_to "$SHORTCUT" "$INSTALLED_WIN\\$NEXT_NAME" \
    || failed "after the update the Start-menu shortcut does not lead to $INSTALLED_WIN\\$NEXT_NAME"
got=$(uninstall_value DisplayVersion)
[[ "$got" == "$NEXT_VERSION" ]] || failed "after the update Apps & features shows version '$got', expected '$NEXT_VERSION'"
passed+=("self-update")
echo "OK: the installed $VERSION, started from its shortcut, downloaded $NEXT_NAME and exited; update.bat deleted the old furlane.exe, started $NEXT_VERSION and deleted itself; the shortcut and Apps & features follow $NEXT_VERSION"
else
    timeout 60 "$WINE" taskkill /F /IM furlane.exe >/dev/null 2>&1
    wait_for 20 gone "$APP_PID" || failed "furlane.exe did not end"
fi
# After the update the program is the next version's, named as published.
PROGRAM=$(cd "$APP_DIR" && ls furlane.exe Furlane-*.exe 2>/dev/null | head -n 1)
[[ -n "$PROGRAM" ]] || failed "no program left in $APP_DIR"

# --- 4. display scales, and the host's fonts ---------------------------------
# Starts $PROGRAM on a fresh screen of the size $3 with Wine set to $2 DPI,
# checks that its window is $4 pixels, shows the first main category's
# cards, checks that their zoom buttons show a magnifier and open the
# viewer, and keeps a picture as $1.png. With $5 = host, Wine sees all the
# host's fonts. Closes the program as a user does and requires exit status 0.
display_run() {
    local name=$1 dpi=$2 screen=$3 expected=$4 fonts=${5:-} percent size x top bottom status
    step "$name: $dpi DPI on a $screen screen${fonts:+, with all fonts of the host}"
    start_screen "$screen"
    if [[ "$fonts" == host ]]; then unset FONTCONFIG_FILE; else export FONTCONFIG_FILE="$WORK/fonts.conf"; fi
    timeout 60 "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 \
        || failed "cannot set Wine's DPI to $dpi"
    (cd "$APP_DIR" && exec timeout 300 "$WINE" "$PROGRAM") >>"$WORK/app.out" 2>&1 &
    APP_PID=$!
    pids+=($APP_PID)
    wait_for 90 has_window || failed "$name: no Furlane window within 90 s"
    wait_for 10 sized "$expected"
    size=$(window_size)
    [[ "$size" == "$expected" ]] || failed "$name: the window is $size pixels, expected $expected"
    percent=$((${expected%x*} * 100 / 970))
    # The main category buttons: white with a grey frame (the only one of
    # that grey: the search field's is another); then 全部.
    wait_for 30 find_patch d1d5db 1 0 >/dev/null || failed "$name: no category buttons are shown"
    click_patch d1d5db 1 0 $((14 * percent / 100)) || failed "$name: no main category button was found"
    sleep 1
    click_patch d1d5db 1 $((PATCH_TOP + 40 * percent / 100)) $((12 * percent / 100)) \
        || failed "$name: the subcategory 全部 was not found"
    # A card's action button, green or red; its zoom button sits 108 pixels
    # right of the action button's middle and 171 above its top (at 100 %).
    wait_for 30 find_patch 4caf50 10 0 >/dev/null || wait_for 5 find_patch ff4444 10 0 >/dev/null \
        || failed "$name: no card is shown"
    sleep 2   # the covers paint
    shot "$name.png"
    read -r x top bottom < <(find_patch 4caf50 10 0 || find_patch ff4444 10 0)
    x=$((x + 108 * percent / 100))
    top=$((top - 171 * percent / 100))
    zoom_ink "$x" "$top" $((10 * percent / 100)) || failed "$name: the zoom button at $x,$top shows no magnifier"
    xdotool mousemove "$x" "$top" click 1
    wait_for 20 shown 查看大图 || failed "$name: the zoom button at $x,$top did not open the viewer"
    if [[ "$fonts" == host ]]; then
        # The queue dialog's texts begin with emoji too.
        xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^查看大图$' | head -n 1)" key Escape
        wait_for 10 eval '! shown 查看大图' || failed "$name: the viewer did not close"
        # 下载队列 is the last of the blue buttons in the top row.
        read -r x top bottom < <(find_patch 3b82f6 10 0 last) || failed "$name: 下载队列 was not found"
        xdotool mousemove "$x" $(((top + bottom) / 2)) click 1
        wait_for 20 shown 下载队列 || failed "$name: 下载队列 did not open the queue dialog"
        sleep 2   # the dialog's first refresh
        shot "$name-queue.png"
        gone "$APP_PID" && failed "$name: furlane.exe ended while showing the queue"
    fi
    if [[ "$screen" == *+* ]]; then
        # A window lower than its cards and pager: the wheel over the cards
        # brings the pager (下一页 is blue) into view above the task bar.
        xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^查看大图$' | head -n 1)" key Escape
        wait_for 10 eval '! shown 查看大图' || failed "$name: the viewer did not close"
        local area_bottom=${screen#*x} cards_top
        area_bottom=$((${area_bottom%+*} - ${screen##*+}))
        read -r x cards_top bottom < <(find_patch 4caf50 10 0 || find_patch ff4444 10 0)
        ! find_patch 3b82f6 10 "$cards_top" >/dev/null || failed "$name: the pager shows unscrolled: the window is not shorter"
        xdotool mousemove "$x" "$cards_top" click --repeat 10 --delay 50 5
        wait_for 10 find_patch 3b82f6 10 "$cards_top" >/dev/null || failed "$name: the pager cannot be scrolled to"
        read -r x top bottom < <(find_patch 3b82f6 10 "$cards_top")
        ((bottom < area_bottom)) || failed "$name: the pager ends at row $bottom, under the task bar (from row $area_bottom)"
        sleep 1
        shot "$name-scrolled.png"
    fi
    timeout 60 "$WINE" taskkill /IM "$PROGRAM" >/dev/null 2>&1   # a close request, as from the frame
    wait_for 30 gone "$APP_PID" || failed "$name: furlane.exe did not close"
    wait "$APP_PID"
    status=$?
    [[ $status -eq 0 ]] || failed "$name: furlane.exe ended with status $status"
    echo "OK: $name: $size pixels at $dpi DPI, cards with magnifiers, closed cleanly ($ARTIFACTS/$name.png)"
}
# Succeeds when the square of half-size $3 around ($1, $2) holds dark
# pixels: a magnifier, not an empty white circle.
zoom_ink() {
    import -window root -depth 8 "$WORK/screen.ppm" 2>/dev/null || return 1
    python3 - "$WORK/screen.ppm" "$@" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
parts = data.split(maxsplit=4)
width, height = int(parts[1]), int(parts[2])
pixels = parts[4]
cx, cy, r = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
dark = 0
for y in range(max(cy - r, 0), min(cy + r + 1, height)):
    for x in range(max(cx - r, 0), min(cx + r + 1, width)):
        o = (y * width + x) * 3
        if sum(pixels[o:o + 3]) < 3 * 140:
            dark += 1
sys.exit(0 if dark >= r else 1)
PY
}
display_run dpi144 144 2560x1600 1455x1305
display_run dpi144-small-screen 144 1920x1080 970x870
display_run dpi192 192 3840x2160 1940x1740
display_run small-screen 96 1366x768+40 970x688
display_run host-fonts 96 1280x1024 970x870 host
passed+=("display scales and host fonts")

# --- the uninstall, as "Apps & features" starts it ----------------------------
if [[ -n "${INSTALLED:-}" ]]; then
    step "uninstalling: $(uninstall_value UninstallString) /S"
    skins() { (cd "$MOD_DIR" && find . -type f -exec sha256sum {} + | sort); }
    skins_before=$(skins)
    [[ -n "$skins_before" ]] || failed "no skin is installed to keep"
    timeout 120 "$WINE" "$INSTALLED/uninstall.exe" /S >>"$WORK/app.out" 2>&1 || failed "the uninstaller ended with status $?"
    # It goes on from a copy of itself in the temporary folder.
    wait_for 60 test ! -e "$INSTALLED" \
        || failed "the uninstaller left $INSTALLED_WIN: $(cd "$INSTALLED" && find . | tr '\n' ' ')"
    [[ ! -e "$SHORTCUT" ]] || failed "the uninstaller left the Start-menu shortcut"
    ! timeout 60 "$WINE" reg query "$UNINSTALL_KEY" >/dev/null 2>&1 || failed "the uninstaller left the Apps & features entry"
    [[ "$(skins)" == "$skins_before" ]] || failed "the uninstall changed the skins in the mod folder"
    passed+=("uninstall")
    echo "OK: the uninstaller removed the program, its shortcut and its entry; the mod folder kept: $(cd "$MOD_DIR" && ls | tr '\n' ' ')"
fi

# --- 5. the self-update from folders no code page holds ---------------------
# cmd reads update.bat in the OEM code page, which Wine takes from the locale:
# German (1252/850), English (1252/437), Chinese (936/936), each from a folder
# named Übersicht and one named 工具. The locales are made into a folder of
# our own, so the system's are left alone.
if [[ "${FURLANE_E2E_DISPLAY_ONLY:-}" != 1 ]]; then
timeout 60 "$WINE" taskkill /F /IM "$NEXT_NAME" >/dev/null 2>&1
make_locales "$WORK/locales" || failed "localedef cannot make the locales (Debian: apt-get install locales)"
for locale in "${LOCALE_NAMES[@]}"; do
    for folder in 'Übersicht' '工具'; do
        step "the self-update from C:\\$folder under $locale"
        APP_DIR="$C/$folder/Furlane-$VERSION-win64"
        rm -rf "$C/$folder"
        mkdir -p "$C/$folder"
        python3 -m zipfile -e "$ZIP" "$C/$folder" || failed "cannot unzip $ZIP into C:\\$folder"
        log_from=$(($(wc -l <"$LOG") + 1))
        start_app in_locale "$locale"
        updated_itself " in C:\\$folder\\Furlane-$VERSION-win64 under $locale"
        timeout 60 "$WINE" taskkill /F /IM "$NEXT_NAME" >/dev/null 2>&1
        echo "OK: $VERSION updated itself to $NEXT_VERSION in C:\\$folder under $locale"
    done
done
passed+=("self-update in six folders and code pages")
fi

# --- 6. signed updates ---------------------------------------------------------
if [[ "${FURLANE_E2E_DISPLAY_ONLY:-}" != 1 ]]; then
command -v osslsigncode >/dev/null 2>&1 || failed "osslsigncode is missing (run scripts/deps.sh)"
timeout 60 "$WINE" taskkill /F /IM "$NEXT_NAME" >/dev/null 2>&1
step "signing $VERSION and $NEXT_VERSION with throwaway certificates"
SIGN="$WORK/sign"
mkdir -p "$SIGN"
# Two publishers of one common name: only the whole subject tells them apart.
for who in ours other; do
    org=Furlane-e2e
    [[ $who == other ]] && org=Someone-else
    openssl req -x509 -newkey rsa:2048 -nodes -days 7 -subj "/CN=Furlane e2e publisher/O=$org" \
        -keyout "$SIGN/$who.key" -out "$SIGN/$who.pem" >/dev/null 2>&1 || failed "openssl cannot make a certificate"
done
sign_as() { FURLANE_SIGN_CERT="$SIGN/$1.pem" FURLANE_SIGN_KEY="$SIGN/$1.key" "$ROOT/scripts/sign_exe.sh" "$2"; }
cp "$NEXT_EXE" "$SIGN/next-ours.exe" && sign_as ours "$SIGN/next-ours.exe" || failed "cannot sign $NEXT_VERSION"
cp "$NEXT_EXE" "$SIGN/next-other.exe" && sign_as other "$SIGN/next-other.exe" || failed "cannot sign $NEXT_VERSION"
# A key that cannot be read: the signing fails and leaves the file as it was.
echo "not a key" >"$SIGN/broken.key"
cp "$NEXT_EXE" "$SIGN/unsignable.exe"
! FURLANE_SIGN_CERT="$SIGN/ours.pem" FURLANE_SIGN_KEY="$SIGN/broken.key" "$ROOT/scripts/sign_exe.sh" \
    "$SIGN/unsignable.exe" 2>/dev/null || failed "sign_exe.sh reported success with an unreadable key"
cmp -s "$NEXT_EXE" "$SIGN/unsignable.exe" && [[ ! -e "$SIGN/unsignable.exe.signed" ]] \
    || failed "a failed signing changed the program or left a partial file"
# One byte inside the signed part of the file turned.
python3 - "$SIGN/next-ours.exe" "$SIGN/next-changed.exe" <<'PY' || failed "cannot change the signed file"
import sys
data = bytearray(open(sys.argv[1], "rb").read())
data[len(data) // 3] ^= 0xFF
open(sys.argv[2], "wb").write(data)
PY
SIGNED_DIR="$C/Signed"
# Unzips the release into C:\Signed and signs its furlane.exe as ours.
signed_release() {
    rm -rf "$SIGNED_DIR"
    mkdir -p "$SIGNED_DIR"
    python3 -m zipfile -e "$ZIP" "$SIGNED_DIR" || failed "cannot unzip $ZIP into C:\\Signed"
    APP_DIR="$SIGNED_DIR/Furlane-$VERSION-win64"
    sign_as ours "$APP_DIR/furlane.exe" || failed "cannot sign furlane.exe $VERSION"
    cp "$APP_DIR/furlane.exe" "$SIGN/old.exe"
}
# Publishes the file $1 as $2 at the address $3 (default: the server's own).
publish() {
    cp "$1" "$WORK/data/files/$2"
    printf '{"Furlane代理版本": "%s", "Furlane代理下载地址": "%s/files/%s"}\n' "$NEXT_VERSION" "${3:-@@BASE@@}" "$2" \
        >"$WORK/data/version.json"
}

step "signed $VERSION updates to $NEXT_VERSION of the same publisher"
signed_release
publish "$SIGN/next-ours.exe" "$NEXT_NAME"
log_from=$(($(wc -l <"$LOG") + 1))
start_app
PUBLISHED="$SIGN/next-ours.exe" updated_itself " (signed)"
! logged "$log_from" "更新文件签名校验失败" || failed "the signed update was refused"
! logged "$log_from" "当前程序没有数字签名" || failed "the signed furlane.exe $VERSION took itself for unsigned"
timeout 60 "$WINE" taskkill /F /IM "$NEXT_NAME" >/dev/null 2>&1
passed+=("signed self-update")
echo "OK: signed $VERSION updated itself to $NEXT_VERSION of the same publisher"

# Each refusal: the box, exit status 1, the old program as it was, no
# update.bat, and the refused download gone.
refused() {
    local case=$1 file=$2 name=$3 base=$4 reason=$5 status box
    step "refusal: $case"
    signed_release
    publish "$file" "$name" "$base"
    log_from=$(($(wc -l <"$LOG") + 1))
    start_app
    wait_for 120 shown 程序错误 || failed "$case: no 程序错误 box within 120 s"
    logged "$log_from" "更新文件签名校验失败: $reason" || failed "$case: the log does not say \"更新文件签名校验失败: $reason\""
    shot "refused-${case// /-}.png"
    box=$(xdotool search --onlyvisible --name '^程序错误$' | head -n 1)
    xdotool windowactivate --sync "$box" key Return 2>/dev/null
    wait_for 30 gone "$APP_PID" || failed "$case: furlane.exe did not exit after the box"
    wait "$APP_PID"
    status=$?
    [[ $status -eq 1 ]] || failed "$case: furlane.exe exited with status $status, expected 1"
    [[ ! -e "$APP_DIR/update.bat" ]] || failed "$case: update.bat was written"
    cmp -s "$SIGN/old.exe" "$APP_DIR/furlane.exe" || failed "$case: the old furlane.exe was changed or removed"
    [[ ! -e "$APP_DIR/$name" ]] || failed "$case: the refused download $name was left beside the program"
    echo "OK: $case refused with the box, status 1, the old program kept"
}
refused "unsigned" "$NEXT_EXE" "$NEXT_NAME" "" "更新文件没有数字签名"
refused "another publisher" "$SIGN/next-other.exe" "$NEXT_NAME" "" "更新文件的发布者与当前程序不同: "
refused "changed after signing" "$SIGN/next-changed.exe" "$NEXT_NAME" "" "更新文件的内容与数字签名不符"
refused "changed on its way over http" "$SIGN/next-changed.exe" "Furlane-$NEXT_VERSION-mirror.exe" \
    "http://127.0.0.1:$PORT" "更新文件的内容与数字签名不符"
passed+=("four refused updates")
fi

cp "$LOG" "$ARTIFACTS/"
echo "Wine end-to-end: ${#passed[@]} passed, 0 failed ($(($(date +%s) - STARTED)) s)"
