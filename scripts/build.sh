#!/usr/bin/env bash
# Builds the shipped programs in release form, without the tests: Orvane.exe for 32- and 64-bit
# Windows (build/win32, build/win64) and orvane-pack for Linux (build/native) and for Windows (in
# both Windows folders). Installs what the builds need, shows their progress and ends with each
# program's path, size and SHA-256. The test run builds the same folders with the same flags.
#   ./scripts/build.sh [native] [win32] [win64]     (all three without an argument)
set -u -o pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" || exit 1
. scripts/lib/packages.sh
. scripts/lib/build.sh

LOGS=build/logs
START=$(date +%s)
note() { printf '== [%4ds] %s\n' "$(($(date +%s) - START))" "$*"; }

folders=("$@")
((${#folders[@]})) || folders=(native win32 win64)
packages=("${ORV_NATIVE_PACKAGES[@]}")
for f in "${folders[@]}"; do
    case $f in
    native) ;;
    win32 | win64) packages+=("${ORV_MINGW_PACKAGES[@]}") ;;
    *) echo "usage: $0 [native] [win32] [win64]" >&2; exit 2 ;;
    esac
done
mkdir -p "$LOGS"
orv_ensure_packages "${packages[@]}" || { echo "could not install the build packages"; exit 1; }

failed=()
built=()
for f in "${folders[@]}"; do
    toolchain= targets=(orvane-pack) programs=(build/native/orvane-pack)
    case $f in
    win32) toolchain=cmake/mingw-i686.cmake ;;
    win64) toolchain=cmake/mingw-x86_64.cmake ;;
    esac
    if [ -n "$toolchain" ]; then
        targets=(Orvane orvane-pack)
        programs=("build/$f/Orvane.exe" "build/$f/orvane-pack.exe")
    fi
    note "$f: configure (build/$f)"
    if ! orv_configure "build/$f" "$toolchain" "$LOGS/$f-configure.log" "${ORV_RELEASE_FLAGS[@]}"; then
        failed+=("$f")
        continue
    fi
    note "$f: build ${targets[*]}"
    if ! orv_build "build/$f" "$LOGS/$f-release.log" "${targets[@]}"; then
        failed+=("$f")
        continue
    fi
    built+=("${programs[@]}")
done

note "done"
((${#built[@]})) && orv_describe "${built[@]}"
if ((${#failed[@]})); then
    echo "not built: ${failed[*]} (logs in $LOGS)"
    exit 1
fi
