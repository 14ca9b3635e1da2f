#!/usr/bin/env bash
# Starts the real program under a real X server (Xvfb), plays a whole match
# with real key events, and checks what a player would see: the title, the
# 512 x 384 board, a card's colours on its square, a placement taken back
# with Ctrl+Z, and a clean exit.
# The program is installed first, into a folder of its own, and started
# through the launcher a user would start.
# Arguments: the build folder, a folder for screenshots.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
e2e_begin "$1" "$2" 1024x768

start_program
[ "$(xdotool getwindowname "$window")" = "Vantaro" ] || fail "title is not Vantaro"

read -r width height < <(window_size "$window")
[ "$width" = 512 ] || fail "window is $width wide, not 512"
# The client area is the menu bar over the 512 x 384 board.
menu=$((height - 384))
[ "$menu" -gt 0 ] && [ "$menu" -lt 60 ] || fail "window is $height high: no 384-pixel board under a menu bar"

note_name_box_colour

# Nothing moves any more: three pictures over more than a second are the same
# (a flying card is out of sight above the window for a fifth of a second).
settled() {
    shot "$window" "$shots/settle-1.png"
    sleep 0.6
    shot "$window" "$shots/settle-2.png"
    sleep 0.6
    shot "$window" "$shots/settle-3.png"
    same_picture "$shots/settle-1.png" "$shots/settle-2.png" && same_picture "$shots/settle-2.png" "$shots/settle-3.png"
}

# The still board is drawn once, when the window is first shown.
board_drawn() {
    shot "$window" "$shots/empty-board.png"
    [ "$(pixel "$shots/empty-board.png" 256 $((menu + 200)))" != "0 0 0" ]
}
await 10 "the empty board" board_drawn

xdotool windowfocus --sync "$window"
xdotool key F2
await 10 "the deal to end" name_box_shown "$window"
import -window "$window" "$shots/dealt.png"
# Blue's hand lies at x 417..502: the frame of its slot 4 card, two pixels
# inside the card's left edge, is blue.
read -r r g b < <(pixel "$shots/dealt.png" 419 $((menu + 300)))
[ "$b" -gt "$r" ] || fail "blue's hand is not blue after the deal ($r $g $b)"

# Edit > Undo (Ctrl+Z) takes the first placement back: the table shows again
# exactly what it showed after the deal, but for the frame counter at the top
# left, which is masked.
masked() { # file -> file with the counter painted over
    convert "$1" -fill black -draw "rectangle 0,$menu 120,$((menu + 24))" "$1.masked.png"
    echo "$1.masked.png"
}
xdotool key Return
xdotool key Return
await 5 "the placement to start" name_box_gone "$window"
await 20 "the placement to end" name_box_shown "$window"
xdotool key ctrl+z
undone() {
    shot "$window" "$shots/undone.png"
    same_picture "$(masked "$shots/dealt.png")" "$(masked "$shots/undone.png")"
}
await 10 "Ctrl+Z to show the table as dealt" undone

# Nine plays: each takes the selected card to the first empty square; the
# next player's choice is awaited once the card has landed and its captures
# have turned over. After the last one the match is over and nothing moves.
for play in $(seq 9); do
    xdotool key Return
    xdotool key Return
    await 5 "play $play to start" name_box_gone "$window"
    if [ "$play" -lt 9 ]; then
        await 20 "play $play to end" name_box_shown "$window"
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
quit_program "$game" "$window"
echo "PASS: title, 512 x 384 board, a whole match and a clean exit under a real X server"
