# Shared by scripts/play and scripts/test: install what is missing, then
# configure and build incrementally in build/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

fail() {
    echo "vantaro: $*" >&2
    exit 1
}

# Installs the Debian packages given that are not installed yet.
ensure_packages() {
    local missing=()
    for package in "$@"; do
        if [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" != "installed" ]; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    command -v apt-get >/dev/null || fail "apt-get is not available; install by hand: ${missing[*]}"
    local as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || fail "need root or sudo to install: ${missing[*]}"
        as_root=(sudo)
    fi
    echo "vantaro: installing ${missing[*]}"
    "${as_root[@]}" apt-get update -qq || fail "apt-get update failed"
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" \
        >/dev/null || fail "could not install: ${missing[*]}"
}

BUILD_PACKAGES=(g++ cmake make pkg-config qt6-base-dev libgl-dev fonts-dejavu-core)
TEST_PACKAGES=(googletest libgtest-dev libbenchmark-dev)

# Configures once, then builds only what changed.
build() {
    if [ ! -f "$BUILD/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || fail "cmake could not configure the build"
    fi
    cmake --build "$BUILD" -j"$(nproc)" "$@" || fail "the build failed"
}
