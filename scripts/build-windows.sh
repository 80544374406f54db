#!/usr/bin/env bash
# Cross-builds furlane.exe and the QtTest programs for 64-bit Windows with
# MinGW-w64 and the prebuilt Qt in shared/toolchains, then packs the program
# with every DLL and plugin it loads (and its icon, app.ico) into
# dist/Furlane-<version>-win64.zip and, with NSIS, into the per-user installer
# dist/Furlane-Setup-<version>.exe.
#
# Environment:
#   FURLANE_TOOLCHAINS_DIR  folder holding qt5-mingw64-5.15.8.tar.xz (default:
#                           the first shared/toolchains found beside the
#                           checkout or one of its parent folders)
#   BUILD_WIN_DIR           build folder (default build-win)
#   FURLANE_VERSION         version to build (default: the one in CMakeLists.txt)
#   FURLANE_SERVER, FURLANE_ADDRESS_NAME   passed on to CMake when set
#   FURLANE_BUILD_TESTS     ON (default) or OFF
#   FURLANE_PUBLISHER       the publisher "Apps & features" names (default Furlane)
#   FURLANE_SIGN_CERT, FURLANE_SIGN_KEY, FURLANE_SIGN_TIMESTAMP
#                           when the first two are set, furlane.exe is signed
#                           (scripts/sign_exe.sh) before the zip is made, and
#                           so are the installer and its uninstaller; without
#                           them the release is unsigned
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

QT_TARBALL_NAME=qt5-mingw64-5.15.8.tar.xz
MINGW=x86_64-w64-mingw32
BUILD_WIN_DIR=${BUILD_WIN_DIR:-build-win}
case "$BUILD_WIN_DIR" in /*) ;; *) BUILD_WIN_DIR="$ROOT/$BUILD_WIN_DIR" ;; esac

step() { echo "== build-windows: $*"; }
die() { echo "build-windows: error: $*" >&2; exit 1; }

find_toolchains() {
    if [[ -n "${FURLANE_TOOLCHAINS_DIR:-}" ]]; then
        echo "$FURLANE_TOOLCHAINS_DIR"
        return
    fi
    # Beside this checkout or one of its parents; a clone made elsewhere (for
    # example in /tmp) also looks beside the checkout it was cloned from.
    local start dir origin
    origin=$(git -C "$ROOT" remote get-url origin 2>/dev/null || true)
    for start in "$ROOT" "$origin"; do
        [[ "$start" == /* && -d "$start" ]] || continue
        dir=$start
        while [[ "$dir" != / ]]; do
            dir=$(dirname "$dir")
            if [[ -f "$dir/shared/toolchains/$QT_TARBALL_NAME" ]]; then
                echo "$dir/shared/toolchains"
                return
            fi
        done
    done
    echo "$(dirname "$ROOT")/shared/toolchains"
}

for tool in "$MINGW-gcc-posix" "$MINGW-g++-posix" "$MINGW-windres" "$MINGW-objdump" "$MINGW-strip" cmake makensis; do
    command -v "$tool" >/dev/null 2>&1 \
        || die "$tool is missing (Debian: apt-get install g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 cmake nsis, or run scripts/deps.sh)"
done

# Qt for Windows, unpacked once into the build folder.
QT_DIR="$BUILD_WIN_DIR/qt/opt/qt5-mingw64"
if [[ ! -f "$QT_DIR/lib/cmake/Qt5/Qt5Config.cmake" ]]; then
    TOOLCHAINS=$(find_toolchains)
    TARBALL="$TOOLCHAINS/$QT_TARBALL_NAME"
    [[ -f "$TARBALL" ]] || die "the Qt toolchain $TARBALL is missing.
  It is expected in shared/toolchains/ beside the checkout (or one of its parent folders);
  set FURLANE_TOOLCHAINS_DIR to the folder that holds $QT_TARBALL_NAME."
    step "unpacking $TARBALL"
    rm -rf "$BUILD_WIN_DIR/qt"
    mkdir -p "$BUILD_WIN_DIR/qt"
    tar -xJf "$TARBALL" -C "$BUILD_WIN_DIR/qt" || die "could not unpack $TARBALL"
    [[ -f "$QT_DIR/lib/cmake/Qt5/Qt5Config.cmake" ]] || die "$TARBALL does not hold opt/qt5-mingw64"
fi

step "configuring $BUILD_WIN_DIR (Release)"
cmake_args=(
    -S "$ROOT" -B "$BUILD_WIN_DIR"
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake"
    -DCMAKE_PREFIX_PATH="$QT_DIR"
    -DCMAKE_BUILD_TYPE=Release
    -DFURLANE_BUILD_TESTS="${FURLANE_BUILD_TESTS:-ON}"
)
[[ -n "${FURLANE_SERVER:-}" ]] && cmake_args+=(-DFURLANE_SERVER="$FURLANE_SERVER")
[[ -n "${FURLANE_ADDRESS_NAME:-}" ]] && cmake_args+=(-DFURLANE_ADDRESS_NAME="$FURLANE_ADDRESS_NAME")
# Without FURLANE_VERSION the default applies again, not what an earlier run
# left in the cache.
if [[ -n "${FURLANE_VERSION:-}" ]]; then
    cmake_args+=(-DFURLANE_VERSION="$FURLANE_VERSION")
else
    cmake_args+=(-UFURLANE_VERSION)
fi
if command -v ccache >/dev/null 2>&1; then
    cmake_args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
mkdir -p "$BUILD_WIN_DIR"
cmake "${cmake_args[@]}" >"$BUILD_WIN_DIR/configure.log" 2>&1 \
    || { tail -n 40 "$BUILD_WIN_DIR/configure.log"; die "configuring failed (full output: $BUILD_WIN_DIR/configure.log)"; }

what="furlane.exe"
[[ "${FURLANE_BUILD_TESTS:-ON}" == ON ]] && what="furlane.exe and the test programs"
step "building $what"
cmake --build "$BUILD_WIN_DIR" -j"$(nproc)" || die "the Windows build failed"
[[ -f "$BUILD_WIN_DIR/bin/furlane.exe" ]] || die "$BUILD_WIN_DIR/bin/furlane.exe was not built"
step "built $BUILD_WIN_DIR/bin/furlane.exe"

# ---- Release zip: furlane.exe and everything it loads ----------------------
VERSION=$(sed -n 's/^FURLANE_VERSION:STRING=//p' "$BUILD_WIN_DIR/CMakeCache.txt")
[[ -n "$VERSION" ]] || die "no FURLANE_VERSION in $BUILD_WIN_DIR/CMakeCache.txt"
NAME="Furlane-$VERSION-win64"
STAGE="$BUILD_WIN_DIR/deploy/$NAME"
step "collecting furlane.exe, its DLLs and Qt plugins into $STAGE"
rm -rf "$BUILD_WIN_DIR/deploy"
mkdir -p "$STAGE"
cp "$BUILD_WIN_DIR/bin/furlane.exe" "$STAGE/"
# The icon for shortcuts and "Apps & features"; the program carries its own.
cp "$ROOT/packaging/icon/furlane.ico" "$STAGE/app.ico"

# What Windows itself provides is not shipped; a DLL of ours that cannot be
# found is an error. The MinGW runtime comes with the Qt build.
DLL_DIRS=("$QT_DIR/bin")
for dir in /usr/lib/gcc/$MINGW/*-posix /usr/$MINGW/lib; do
    [[ -d "$dir" ]] && DLL_DIRS+=("$dir")
done
declare -A SEEN=()
SYSTEM_DLLS=()
imports_of() {
    "$MINGW-objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r'
}
# Copies the imports of $1 beside furlane.exe, then theirs.
deploy_imports() {
    local dll found dir key
    while read -r dll; do
        [[ -n "$dll" ]] || continue
        key=${dll,,}
        [[ -z "${SEEN[$key]:-}" ]] || continue
        SEEN[$key]=1
        found=""
        for dir in "${DLL_DIRS[@]}"; do
            found=$(find "$dir" -maxdepth 1 -iname "$dll" -print -quit)
            [[ -n "$found" ]] && break
        done
        if [[ -z "$found" ]]; then
            case "$key" in
                qt5*|lib*) die "$1 needs $dll, which is neither in the Qt build nor in the MinGW runtime" ;;
            esac
            SYSTEM_DLLS+=("$dll")
            continue
        fi
        cp "$found" "$STAGE/"
        deploy_imports "$found"
    done < <(imports_of "$1")
}
deploy_imports "$STAGE/furlane.exe"

# The plugins a widgets program loads at run time: the platform, the image
# formats of the covers, and the native style where the build has one.
PLUGINS=(platforms/qwindows.dll imageformats/qjpeg.dll imageformats/qgif.dll imageformats/qico.dll)
for style in "$QT_DIR"/plugins/styles/*.dll; do
    [[ -f "$style" ]] && PLUGINS+=("styles/$(basename "$style")")
done
for plugin in "${PLUGINS[@]}"; do
    [[ -f "$QT_DIR/plugins/$plugin" ]] || die "the Qt build has no plugin $plugin"
    mkdir -p "$STAGE/$(dirname "$plugin")"
    cp "$QT_DIR/plugins/$plugin" "$STAGE/$plugin"
    deploy_imports "$STAGE/$plugin"
done
# The MinGW runtime carries debug sections (libstdc++ alone some 20 MB).
find "$STAGE" -type f \( -iname '*.dll' -o -iname '*.exe' \) -exec "$MINGW-strip" --strip-debug {} + \
    || die "stripping the shipped files failed"
# Signed last: any change to the file after this breaks the signature.
if [[ -n "${FURLANE_SIGN_CERT:-}${FURLANE_SIGN_KEY:-}" ]]; then
    step "signing furlane.exe with $FURLANE_SIGN_CERT"
    "$ROOT/scripts/sign_exe.sh" "$STAGE/furlane.exe" || die "signing furlane.exe failed"
fi
echo "   shipped: $(cd "$STAGE" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')"
echo "   from Windows: $(printf '%s\n' "${SYSTEM_DLLS[@]}" | sort -f | tr '\n' ' ')"

mkdir -p "$ROOT/dist"
ZIP="$ROOT/dist/$NAME.zip"
step "writing $ZIP"
rm -f "$ZIP.part"
if command -v zip >/dev/null 2>&1; then
    (cd "$BUILD_WIN_DIR/deploy" && zip -qr -X "$ZIP.part" "$NAME") || die "zip failed"
else
    python3 - "$BUILD_WIN_DIR/deploy" "$NAME" "$ZIP.part" <<'PY' || die "writing the zip failed"
import os, sys, zipfile
base, name, out = sys.argv[1:4]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, _, files in os.walk(os.path.join(base, name)):
        for f in sorted(files):
            path = os.path.join(folder, f)
            z.write(path, os.path.relpath(path, base))
PY
fi
mv -f "$ZIP.part" "$ZIP"
step "written: $ZIP ($(du -h "$ZIP" | cut -f1))"

# ---- Installer: the same files, installed for the current user -------------
SETUP="$ROOT/dist/Furlane-Setup-$VERSION.exe"
step "writing $SETUP"
NSIS_DIR="$BUILD_WIN_DIR/nsis"
rm -rf "$NSIS_DIR"
mkdir -p "$NSIS_DIR"
# The files to install, folder by folder, and the lines that remove exactly
# them again (the deepest folders last, each only once empty).
(
    cd "$STAGE"
    find . -type d | sed 's|^\./\?||' | sort | while IFS= read -r dir; do
        win_dir=${dir//\//\\}
        echo "SetOutPath \"\$INSTDIR${win_dir:+\\$win_dir}\""
        find "${dir:-.}" -maxdepth 1 -type f | sort | while IFS= read -r file; do
            echo "File \"$STAGE/${file#./}\""
        done
    done
) >"$NSIS_DIR/install.nsh"
(
    cd "$STAGE"
    find . -type f | sed 's|^\./||' | sort | while IFS= read -r file; do
        echo "Delete \"\$INSTDIR\\${file//\//\\}\""
    done
    find . -mindepth 1 -type d | sed 's|^\./||' | sort -r | while IFS= read -r dir; do
        echo "RMDir \"\$INSTDIR\\${dir//\//\\}\""
    done
) >"$NSIS_DIR/remove.nsh"
# Windows' file version has four numbers.
IFS=. read -r v1 v2 v3 v4 <<<"$(sed -E 's/^([0-9]+(\.[0-9]+){0,3}).*/\1/' <<<"$VERSION")"
FILE_VERSION="${v1:-0}.${v2:-0}.${v3:-0}.${v4:-0}"
nsis_args=(
    -V2 -INPUTCHARSET UTF8
    -DVERSION="$VERSION" -DFILE_VERSION="$FILE_VERSION" -DPUBLISHER="${FURLANE_PUBLISHER:-Furlane}"
    -DICON="$ROOT/packaging/icon/furlane.ico"
    -DINSTALL_FILES="$NSIS_DIR/install.nsh" -DREMOVE_FILES="$NSIS_DIR/remove.nsh"
    -DOUTFILE="$SETUP.part"
)
SIGNING=""
[[ -n "${FURLANE_SIGN_CERT:-}${FURLANE_SIGN_KEY:-}" ]] && SIGNING=1
[[ -n "$SIGNING" ]] && nsis_args+=(-DSIGN_UNINSTALLER="$ROOT/scripts/sign_exe.sh")
rm -f "$SETUP" "$SETUP.part"
makensis "${nsis_args[@]}" "$ROOT/packaging/windows/installer.nsi" >"$NSIS_DIR/makensis.log" 2>&1 \
    || { rm -f "$SETUP.part"; tail -n 30 "$NSIS_DIR/makensis.log"; die "makensis failed (full output: $NSIS_DIR/makensis.log)"; }
if [[ -n "$SIGNING" ]]; then
    step "signing the installer with $FURLANE_SIGN_CERT"
    "$ROOT/scripts/sign_exe.sh" "$SETUP.part" || { rm -f "$SETUP.part"; die "signing the installer failed"; }
fi
mv -f "$SETUP.part" "$SETUP"
step "done: $ZIP and $SETUP ($(du -h "$SETUP" | cut -f1))"
