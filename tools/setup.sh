# Sourced by ./run and ./test: installs the Debian packages KOLTA needs when
# any is missing, and defines kolta_build DIR TYPE [CMAKE OPTIONS...].

KOLTA_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
                mdbtools mdbtools-dev libsqlite3-dev fonts-liberation poppler-utils xvfb xauth
                wine64 python3 desktop-file-utils appstream)

kolta_missing_packages() {
    local pkg missing=()
    for pkg in "${KOLTA_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    echo "${missing[@]:-}"
}

kolta_install() {
    local missing
    missing=$(kolta_missing_packages)
    [ -z "$missing" ] && return 0
    echo "Installing: $missing"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends $missing
}

kolta_build() {
    local dir=$1 type=$2
    shift 2
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@"
    fi
    cmake --build "$dir" -j "$(nproc)"
}

kolta_install
