#!/usr/bin/env bash
# Builds the server's Debian package alone from a finished build folder and
# checks what it installs, what it declares, and that it needs no GUI library.
# Arguments: the build folder, a work folder, and the cpack to use.
set -euo pipefail
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work"

fail() {
    echo "FAIL: $*"
    exit 1
}

"${3:-cpack}" -G DEB --config "$build/CPackConfig.cmake" -B "$work" -D CPACK_COMPONENTS_ALL=server \
    >"$work/cpack.log" 2>&1 || { tail -20 "$work/cpack.log"; fail "cpack -G DEB"; }
debs=("$work"/vantaro-server_*.deb)
[ -f "${debs[0]}" ] || fail "no vantaro-server_*.deb in $work"
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/files"
for path in ./usr/bin/vantaro-server ./usr/lib/systemd/system/vantaro-server.service \
    ./usr/share/man/man8/vantaro-server.8.gz; do
    grep -qxF "$path" "$work/files" || fail "the package does not install $path"
done
! grep -qE 'Data/|\.desktop$|/vantaro$|vantaro-solve' "$work/files" || fail "the package holds the game's files"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vantaro-server ] || fail "Package is '$(field Package)'"
depends=$(field Depends)
for library in libqt6core6 libqt6sql6 libqt6sql6-sqlite libssl3 libc6; do
    grep -q "\b$library\b" <<<"$depends" || fail "Depends does not name $library: $depends"
done
! grep -qE 'libqt6(gui|widgets|network)6|libgl|libx11|fonts-' <<<"$depends" || fail "Depends names a GUI library: $depends"
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
        { cat "$work/lintian.log"; fail "lintian found errors or warnings"; }
fi
echo "PASS: $(basename "$deb"); Depends: $depends"
