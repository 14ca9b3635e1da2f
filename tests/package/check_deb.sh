#!/usr/bin/env bash
# Builds the Debian package from a finished build folder into a folder of its
# own and checks what it installs and what it declares, then lets lintian
# judge it: any error or warning fails.
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

"${3:-cpack}" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { tail -20 "$work/cpack.log"; fail "cpack -G DEB"; }
debs=("$work"/vantaro_*.deb)
[ -f "${debs[0]}" ] || fail "no vantaro_*.deb in $work"
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/files"
for path in ./usr/games/vantaro ./usr/lib/vantaro/vantaro ./usr/games/vantaro-solve ./usr/lib/vantaro/vantaro-solve \
    ./usr/share/man/man6/vantaro.6.gz ./usr/share/man/man6/vantaro-solve.6.gz \
    ./usr/share/doc/vantaro/copyright ./usr/share/doc/vantaro/changelog.Debian.gz \
    ./usr/lib/vantaro/Data/Cards.dat \
    ./usr/lib/vantaro/Data/Board.bmp ./usr/lib/vantaro/Data/Red/1.bmp ./usr/lib/vantaro/Data/Red/110.bmp \
    ./usr/lib/vantaro/Data/Blue/110.bmp ./usr/lib/vantaro/Data/Numbers/9.bmp \
    ./usr/lib/vantaro/Data/Sounds/deal.wav ./usr/lib/vantaro/Data/Sounds/chat.wav \
    ./usr/share/applications/vantaro.desktop ./usr/share/icons/hicolor/128x128/apps/vantaro.png; do
    grep -qxF "$path" "$work/files" || fail "the package does not install $path"
done
pictures=$(grep -cE '^\./usr/lib/vantaro/Data/(Red|Blue)/[0-9]+\.bmp$' "$work/files")
[ "$pictures" = 220 ] || fail "the package holds $pictures card pictures, not 220"
# Only what the program needs: no tests, benchmarks or build tools.
! grep -qE 'vantaro_(tests|bench|artgen)' "$work/files" || fail "the package holds build or test programs"
# The program and the launcher are executable.
dpkg-deb -c "$deb" | grep -E ' \./usr/(games/vantaro|lib/vantaro/vantaro)$' | grep -vq '^-rwx' &&
    fail "the program or its launcher is not executable"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vantaro ] || fail "Package is '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Version)" ] || fail "no Version"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Section)" = games ] || fail "Section is '$(field Section)'"
depends=$(field Depends)
for library in libqt6widgets6 libqt6gui6 libqt6core6 libqt6multimedia6 libc6 libstdc++6 fonts-dejavu-core; do
    grep -q "\b$library\b" <<<"$depends" || fail "Depends does not name $library: $depends"
done
# Debian's own judgement of the package: no error and no warning.
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 ||
        { cat "$work/lintian.log"; fail "lintian reports errors or warnings"; }
    grep -E '^[EW]: ' "$work/lintian.log" && fail "lintian reports errors or warnings"
else
    fail "lintian is not installed"
fi
echo "PASS: $(basename "$deb") installs the program, its data, launcher, desktop entry and icon; Depends: $depends"
