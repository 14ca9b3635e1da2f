#!/usr/bin/env bash
# Starts the installed program under a real X server (Xvfb, 1600 x 1200) in
# Single Player and checks what the table tells a newcomer: the title names
# the mode, F2 deals with the focus in the side window, a match played to its
# end (each move the one Hint points at) shows the result banner, and at 2x
# and 3x both windows lie inside the screen (3x does not fit beside the side
# window there, so the table stays at 2x).
# Arguments: the build folder, a folder for screenshots.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
e2e_begin "$1" "$2" 1600x1200

mkdir -p "$XDG_CONFIG_HOME/Vantaro"
printf '[Game]\nType=single-player\nLevel=easy\n' >"$XDG_CONFIG_HOME/Vantaro/Vantaro.conf"
launch "$shots/game.log"
game=$launched
wait_for_window 15 "$game" "Vantaro — Single Player, Easy" || fail "no window titled for Single Player appeared"
window=$found
wait_for_window 15 "$game" "Vantaro Chat" || fail "no side window appeared"
chat=$found
read -r width height < <(window_size "$window")
menu=$((height - 384))
note_name_box_colour

# F2 with the side window focused deals on the table.
xdotool windowfocus --sync "$chat"
xdotool key F2
await 10 "F2 from the side window to deal" name_box_shown "$window"
shot "$window" "$shots/dealt.png"

# The banner's plate, where no lettering covers it: a pixel of the enamel.
plate_file=$(find "$shots/install" -name ResultPlate.bmp | head -1)
[ -n "$plate_file" ] || fail "the installed Data/ has no ResultPlate.bmp"
plate_color=$(pixel "$plate_file" 30 20)
# The plate is centred on the 512 x 384 table.
read -r plate_w plate_h < <(identify -format '%w %h\n' "$plate_file")
banner_shown() {
    shot "$window" "$shots/poll.png"
    [ "$(pixel "$shots/poll.png" $((256 - plate_w / 2 + 30)) $((menu + 192 - plate_h / 2 + 20)))" = "$plate_color" ]
}

# The person (Blue) moves first. Each round asks for a hint, which points at
# the best move, and Enter plays it; while the computer moves both are refused.
for round in $(seq 30); do
    banner_shown && break
    xdotool windowfocus --sync "$window"
    xdotool key h
    sleep 2
    xdotool key Return
    sleep 3
done
await 20 "the result banner" banner_shown
shot "$window" "$shots/result.png"
shot "$chat" "$shots/result-log.png"

# Both windows inside the screen: at 2x, and when 3x is asked for.
inside() { # window
    local x y w h
    eval "$(xdotool getwindowgeometry --shell "$1")"
    x=$X y=$Y w=$WIDTH h=$HEIGHT
    [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1600 ] && [ $((y + h)) -le 1200 ]
}
for keys in ctrl+2 ctrl+3; do
    xdotool windowfocus --sync "$window"
    xdotool key "$keys"
    sleep 1
    read -r width height < <(window_size "$window")
    [ "$width" = 1024 ] || fail "after $keys the table is $width wide, not 1024 (2x)"
    inside "$window" || fail "after $keys the table runs off the screen"
    inside "$chat" || fail "after $keys the side window runs off the screen"
    read -r cw ch < <(window_size "$chat")
    [ "$ch" = "$height" ] || fail "after $keys the side window is $ch high beside a $height-high table"
    import -window root "$shots/screen-$keys.png"
done

quit_program "$game" "$window"
echo "PASS: Single Player to the result banner, F2 from the side window, both windows on the screen at 2x and 3x"
