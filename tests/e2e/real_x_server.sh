#!/usr/bin/env bash
# Starts the real program under a real X server (Xvfb), plays a whole match
# with real key events, and checks what a player would see: the title, the
# 512 x 384 board, a card's colours on its square, and a clean exit.
# The program is installed first, into a folder of its own, and started
# through the launcher a user would start.
# Arguments: the build folder, a folder for screenshots.
set -euo pipefail
build=$1
shots=$2
rm -rf "$shots"
mkdir -p "$shots"
cmake --install "$build" --prefix "$shots/install" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
program="$shots/install/bin/vantaro"

for tool in Xvfb xdotool import xwininfo convert; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

fail() {
    echo "FAIL: $*"
    exit 1
}

# A display number of our own, told by the server itself.
exec 5> >(cat >"$shots/display")
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >"$shots/xvfb.log" 2>&1 &
xvfb=$!
game=""
cleanup() {
    [ -n "$game" ] && kill "$game" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do
    [ -s "$shots/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(head -1 "$shots/display")"
unset QT_QPA_PLATFORM
# The program remembers its settings; this run starts from none and keeps its own.
export XDG_CONFIG_HOME="$shots/config"

cd "$shots"
"$program" >"$shots/game.log" 2>&1 &
game=$!

window=""
for _ in $(seq 150); do
    window=$(xdotool search --onlyvisible --name '^Vantaro$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "no window called Vantaro appeared"
[ "$(xdotool getwindowname "$window")" = "Vantaro" ] || fail "title is not Vantaro"

# Wait until the chat window is shown: loading has finished by then.
for _ in $(seq 150); do
    xdotool search --onlyvisible --name '^Vantaro Chat$' >/dev/null 2>&1 && break
    sleep 0.1
done

width=$(xwininfo -id "$window" | awk '/Width:/ {print $2}')
height=$(xwininfo -id "$window" | awk '/Height:/ {print $2}')
[ "$width" = 512 ] || fail "window is $width wide, not 512"
# The client area is the menu bar over the 512 x 384 board.
menu=$((height - 384))
[ "$menu" -gt 0 ] && [ "$menu" -lt 60 ] || fail "window is $height high: no 384-pixel board under a menu bar"

pixel() { # file x y -> "r g b"
    convert "$1" -format '%[fx:int(255*p{'"$2"','"$3"'}.r)] %[fx:int(255*p{'"$2"','"$3"'}.g)] %[fx:int(255*p{'"$2"','"$3"'}.b)]' info:
    echo
}

# Waits until a condition holds, polling, for at most the given seconds.
# Arguments: seconds, what is awaited (for the failure message), the command.
await() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || fail "waited ${seconds}s for $what"
        sleep 0.05
    done
}
shot() { import -window "$window" "$1"; }

# The card-name box shows only while a match waits for a choice in a hand: not
# while cards are dealt, fly or turn over. A pixel left of the name text,
# compared with the box's own picture, tells whether it is drawn.
box_file=$(find "$shots/install" -name CardNameInfoBox.bmp | head -1)
[ -n "$box_file" ] || fail "the installed Data/ has no CardNameInfoBox.bmp"
box_color=$(pixel "$box_file" 40 12)
name_box_shown() {
    shot "$shots/poll.png"
    [ "$(pixel "$shots/poll.png" 145 $((menu + 357)))" = "$box_color" ]
}
name_box_gone() { ! name_box_shown; }
# Nothing moves any more: three pictures over more than a second are the same
# (a flying card is out of sight above the window for a fifth of a second).
settled() {
    local a b
    shot "$shots/settle-1.png"
    sleep 0.6
    shot "$shots/settle-2.png"
    a=$(compare -metric AE "$shots/settle-1.png" "$shots/settle-2.png" /dev/null 2>&1 || true)
    sleep 0.6
    shot "$shots/settle-3.png"
    b=$(compare -metric AE "$shots/settle-2.png" "$shots/settle-3.png" /dev/null 2>&1 || true)
    [ "${a%% *}" = 0 ] && [ "${b%% *}" = 0 ]
}

# The still board is drawn once, when the window is first shown.
board_drawn() {
    shot "$shots/empty-board.png"
    [ "$(pixel "$shots/empty-board.png" 256 $((menu + 200)))" != "0 0 0" ]
}
await 10 "the empty board" board_drawn

xdotool windowfocus --sync "$window"
xdotool key F2
await 10 "the deal to end" name_box_shown
import -window "$window" "$shots/dealt.png"
# Blue's hand lies at x 417..502: the frame of its slot 4 card, two pixels
# inside the card's left edge, is blue.
read -r r g b < <(pixel "$shots/dealt.png" 419 $((menu + 300)))
[ "$b" -gt "$r" ] || fail "blue's hand is not blue after the deal ($r $g $b)"

# Nine plays: each takes the selected card to the first empty square; the
# next player's choice is awaited once the card has landed and its captures
# have turned over. After the last one the match is over and nothing moves.
for play in $(seq 9); do
    xdotool key Return
    xdotool key Return
    await 5 "play $play to start" name_box_gone
    if [ "$play" -lt 9 ]; then
        await 20 "play $play to end" name_box_shown
    else
        await 20 "the match to come to rest" settled
    fi
    import -window "$window" "$shots/play-$play.png"
done

# Blue played first, onto the top-left square (130..215, 29..139): the square
# now shows a card, whose frame two pixels inside its left edge is red or blue,
# not the empty felt.
read -r r g b < <(pixel "$shots/play-9.png" 132 $((menu + 84)))
read -r er eg eb < <(pixel "$shots/empty-board.png" 132 $((menu + 84)))
[ "$r $g $b" != "$er $eg $eb" ] || fail "the top-left square still shows the empty board"
[ $((r > g + 40 || b > g + 40)) = 1 ] || fail "the top-left square shows no red or blue card ($r $g $b)"

# The match is over: Enter no longer changes the picture.
xdotool key Return
sleep 0.5
import -window "$window" "$shots/after-end.png"
same=$(compare -metric AE "$shots/play-9.png" "$shots/after-end.png" /dev/null 2>&1 || true)
[ "$same" = 0 ] || [ "$same" = "0 (0)" ] || fail "the finished match changed on a key press ($same pixels)"

# File > Exit closes the program, with exit code 0.
xdotool key ctrl+x
status=0
for _ in $(seq 100); do
    kill -0 "$game" 2>/dev/null || break
    sleep 0.1
done
wait "$game" || status=$?
game=""
[ "$status" = 0 ] || fail "the program ended with code $status"
echo "PASS: title, 512 x 384 board, a whole match and a clean exit under a real X server"
