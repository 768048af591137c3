# Debian packages: install only what is missing, so a rerun on a ready machine skips apt.

# orv_missing_packages PKG... : prints the packages that are not installed.
orv_missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -qx 'install ok installed' || echo "$p"
    done
}

# orv_ensure_packages PKG... : installs the missing ones (apt-get update first); fails without root.
orv_ensure_packages() {
    local missing
    mapfile -t missing < <(orv_missing_packages "$@")
    ((${#missing[@]} == 0)) && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "missing packages and no root to install them: ${missing[*]}" >&2
            return 1
        fi
        sudo=(sudo)
    fi
    echo "== installing: ${missing[*]}"
    local p
    for p in "${missing[@]}"; do
        if [[ $p == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
            "${sudo[@]}" dpkg --add-architecture i386 || return 1
            break
        fi
    done
    "${sudo[@]}" apt-get update || return 1
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

# What the native build and its tests need.
ORV_NATIVE_PACKAGES=(g++ cmake ninja-build pkg-config nlohmann-json3-dev libssl-dev googletest libgtest-dev libgmock-dev
                     python3-jsonschema osslsigncode openssl)
# What scripts/fuzz.sh needs besides the native build: clang and its fuzzing runtime.
ORV_FUZZ_PACKAGES=(clang libclang-rt-dev)
# What the Windows builds need, and what their runs under Wine and a virtual display need besides.
ORV_MINGW_PACKAGES=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix)
ORV_WINDOWS_PACKAGES=("${ORV_MINGW_PACKAGES[@]}" wine wine64 wine32:i386 xvfb fonts-wine
                      fonts-wqy-microhei x11-apps imagemagick xdotool)
