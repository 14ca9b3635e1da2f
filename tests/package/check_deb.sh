#!/usr/bin/env bash
# Builds the Debian packages from a finished build folder with one cpack run
# into a folder of its own: the game's (vantaro) and the server's
# (vantaro-server). Checks what each installs and declares, that the server
# needs no GUI library, then lets lintian judge both: any error or warning
# fails.
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

# package_of NAME: the one NAME_*.deb cpack wrote; its file list goes to $work/NAME.files.
package_of() {
    local debs=("$work/$1"_*.deb)
    [ -f "${debs[0]}" ] || fail "no $1_*.deb in $work"
    deb=${debs[0]}
    dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/$1.files"
    files="$work/$1.files"
}
installs() { # path...
    local path
    for path in "$@"; do
        grep -qxF "$path" "$files" || fail "$(basename "$deb") does not install $path"
    done
}
field() { dpkg-deb -f "$deb" "$1"; }
depends_on() { # library...
    local library depends
    depends=$(field Depends)
    for library in "$@"; do
        grep -q "\b$library\b" <<<"$depends" || fail "$(basename "$deb") Depends does not name $library: $depends"
    done
}

package_of vantaro
game_deb=$deb
installs ./usr/games/vantaro ./usr/lib/vantaro/vantaro ./usr/games/vantaro-solve ./usr/lib/vantaro/vantaro-solve \
    ./usr/share/man/man6/vantaro.6.gz ./usr/share/man/man6/vantaro-solve.6.gz \
    ./usr/share/doc/vantaro/copyright ./usr/share/doc/vantaro/changelog.Debian.gz \
    ./usr/lib/vantaro/Data/Cards.dat \
    ./usr/lib/vantaro/Data/Board.bmp ./usr/lib/vantaro/Data/Red/1.bmp ./usr/lib/vantaro/Data/Red/110.bmp \
    ./usr/lib/vantaro/Data/Blue/110.bmp ./usr/lib/vantaro/Data/Numbers/9.bmp \
    ./usr/lib/vantaro/Data/Sounds/deal.wav ./usr/lib/vantaro/Data/Sounds/chat.wav \
    ./usr/share/applications/vantaro.desktop ./usr/share/icons/hicolor/128x128/apps/vantaro.png
pictures=$(grep -cE '^\./usr/lib/vantaro/Data/(Red|Blue)/[0-9]+\.bmp$' "$files")
[ "$pictures" = 220 ] || fail "the package holds $pictures card pictures, not 220"
# Only what the program needs: no tests, benchmarks, build tools or the server.
! grep -qE 'vantaro_(tests|bench|artgen)|vantaro-server' "$files" || fail "the package holds build, test or server programs"
# The program and the launcher are executable.
dpkg-deb -c "$deb" | grep -E ' \./usr/(games/vantaro|lib/vantaro/vantaro)$' | grep -vq '^-rwx' &&
    fail "the program or its launcher is not executable"
[ "$(field Package)" = vantaro ] || fail "Package is '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Version)" ] || fail "no Version"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Section)" = games ] || fail "Section is '$(field Section)'"
depends_on libqt6widgets6 libqt6gui6 libqt6core6 libqt6multimedia6 libc6 libstdc++6 fonts-dejavu-core
game_depends=$(field Depends)

package_of vantaro-server
server_deb=$deb
installs ./usr/bin/vantaro-server ./usr/lib/systemd/system/vantaro-server.service \
    ./usr/share/man/man8/vantaro-server.8.gz
! grep -qE 'Data/|\.desktop$|/vantaro$|vantaro-solve' "$files" || fail "the server's package holds the game's files"
[ "$(field Package)" = vantaro-server ] || fail "Package is '$(field Package)'"
depends_on libqt6core6 libqt6sql6 libqt6sql6-sqlite libssl3 libc6
server_depends=$(field Depends)
! grep -qE 'libqt6(gui|widgets|network)6|libgl|libx11|fonts-' <<<"$server_depends" ||
    fail "the server's Depends names a GUI library: $server_depends"

# Debian's own judgement of both packages: no error and no warning.
command -v lintian >/dev/null || fail "lintian is not installed"
lintian --fail-on error,warning --tag-display-limit 0 "$game_deb" "$server_deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian reports errors or warnings"; }
grep -E '^[EW]: ' "$work/lintian.log" && fail "lintian reports errors or warnings"
echo "PASS: $(basename "$game_deb") installs the program, its data, launcher, desktop entry and icon;" \
    "Depends: $game_depends"
echo "PASS: $(basename "$server_deb") installs the server alone; Depends: $server_depends"
