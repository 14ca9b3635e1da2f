#!/usr/bin/env bash
# Starts the installed program under a real X server (Xvfb) and plays a whole
# match with the mouse alone, on the board enlarged twice (Ctrl+2): a click on
# the table deals, each play is a click on a hand card, a move of the pointer
# to a square and a click there. Checks the window's size at 2x, that every
# square ends up holding a card, that a click after the end deals again, and
# that the zoom is remembered in the settings file on exit.
# Arguments: the build folder, a folder for screenshots.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
e2e_begin "$1" "$2" 1600x1000

start_program

xdotool windowfocus --sync "$window"
xdotool key ctrl+2
sleep 1
read -r width height < <(window_size "$window")
[ "$width" = 1024 ] || fail "at 2x the window is $width wide, not 1024"
menu=$((height - 768))
[ "$menu" -gt 0 ] && [ "$menu" -lt 60 ] || fail "at 2x the window is $height high: no 768-pixel board under a menu bar"
import -window "$window" "$shots/empty-board.png"

# Moves the pointer onto a pixel of the 512 x 384 drawing area, and clicks.
click_at() {
    xdotool mousemove --window "$window" $(($1 * 2 + 1)) $((menu + $2 * 2 + 1))
    sleep 0.1
    xdotool click 1
    sleep 0.2
}

click_at 256 200
sleep 1.5
import -window "$window" "$shots/dealt.png"
read -r r g b < <(pixel "$shots/dealt.png" $((419 * 2)) $((menu + 300 * 2)))
[ "$b" -gt "$r" ] || fail "a click on the table dealt no match: blue's hand is not there ($r $g $b)"

# Blue (right hand, x 417) moves first; each player plays his lowest card,
# which sits in slot 4 (y 249..359), onto the next square in reading order.
for play in $(seq 0 8); do
    hand=$((play % 2 == 0 ? 417 : 10))
    click_at $((hand + 42)) 320
    column=$((play % 3))
    row=$((play / 3))
    x=$((130 + 85 * column + 42))
    y=$((29 + 110 * row + 55))
    xdotool mousemove --window "$window" $((x * 2)) $((menu + y * 2))
    sleep 0.2
    click_at "$x" "$y"
    sleep 4.5
    import -window "$window" "$shots/play-$play.png"
done

# Every square now shows a red or blue card where the empty board showed felt.
for square in $(seq 0 8); do
    x=$(((130 + 85 * (square % 3) + 2) * 2))
    y=$((menu + (29 + 110 * (square / 3) + 84) * 2))
    read -r r g b < <(pixel "$shots/play-8.png" "$x" "$y")
    read -r er eg eb < <(pixel "$shots/empty-board.png" "$x" "$y")
    [ "$r $g $b" != "$er $eg $eb" ] || fail "square $square still shows the empty board"
    [ $((r > g + 40 || b > g + 40)) = 1 ] || fail "square $square shows no red or blue card ($r $g $b)"
done

# The match is over: a click on the table deals the next one.
click_at 256 20
sleep 1.5
import -window "$window" "$shots/next-deal.png"
read -r r g b < <(pixel "$shots/next-deal.png" $((132 * 2)) $((menu + 84 * 2)))
read -r er eg eb < <(pixel "$shots/empty-board.png" $((132 * 2)) $((menu + 84 * 2)))
[ "$r $g $b" = "$er $eg $eb" ] || fail "a click after the end dealt no new match (top-left square still taken)"

quit_program "$game" "$window"
grep -qx 'Zoom=2' "$XDG_CONFIG_HOME/Vantaro/Vantaro.conf" || fail "the zoom was not remembered"
echo "PASS: a whole match played with the mouse at 2x under a real X server, dealt again by a click"
