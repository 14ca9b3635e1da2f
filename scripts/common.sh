# Shared by scripts/play and scripts/test: install what is missing, then
# configure and build incrementally.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"
JOBS="$(nproc)"

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

# OpenSSL and Asio build the TLS identity and the server along with the game;
# Qt Multimedia plays the table's sounds.
BUILD_PACKAGES=(g++ cmake make pkg-config qt6-base-dev qt6-multimedia-dev libgl-dev fonts-dejavu-core libssl-dev
                libasio-dev libhiredis-dev libpq-dev libtomlplusplus-dev ccache)
# What the server needs to run: Qt SQL's SQLite and PostgreSQL drivers.
SERVER_PACKAGES=(libqt6sql6-sqlite libqt6sql6-psql)
# lld links the four test builds faster than the default linker (the build
# takes it wherever it is installed).
TEST_PACKAGES=(googletest libgtest-dev libbenchmark-dev xvfb xauth xdotool x11-utils imagemagick dpkg-dev lintian
               clang-14 libclang-rt-14-dev lld "${SERVER_PACKAGES[@]}" postgresql-15 redis-server haproxy clang-format-14)

# build FOLDER [cmake options...] -- [build options...]: configures the folder
# once (and again when options are given, so that they hold even in a folder
# another command configured), then builds only what changed.
build_in() {
    local folder=$1
    shift
    local configure=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        configure+=("$1")
        shift
    done
    [ $# -gt 0 ] && shift
    if [ ! -f "$folder/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${configure[@]}" >/dev/null ||
            fail "cmake could not configure $folder"
    elif [ ${#configure[@]} -gt 0 ]; then
        cmake "$folder" "${configure[@]}" >/dev/null || fail "cmake could not configure $folder"
    fi
    cmake --build "$folder" -j"$JOBS" "$@" || fail "the build in $folder failed"
}
