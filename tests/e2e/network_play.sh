#!/usr/bin/env bash
# Two copies of the installed program under one real X server (Xvfb), one
# hosting and one joining on 127.0.0.1, play a whole match with real key
# events, each on its turn, and say a line of chat each way. At the end both
# windows must show the same board and the same scores, and both must close
# with exit code 0.
# Arguments: the build folder, a folder for screenshots.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
on_failure() {
    import -window root "$shots/failed-screen.png" 2>/dev/null || true
    for side in host join; do
        [ -s "$shots/$side.log" ] && { echo "--- $side output:"; tail -20 "$shots/$side.log"; }
    done
}
e2e_begin "$1" "$2" 1280x1024
# Each copy keeps its settings in a home of its own.
unset XDG_CONFIG_HOME

# A port nothing listens on: the loopback picks one, which is then let go.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' \
    2>/dev/null || echo $((47100 + RANDOM % 800)))

mkdir -p "$shots/home-host" "$shots/home-join"

# The windows of one copy, found by its process; they are set apart on the
# screen so that neither hides the other.
start() { # side, then the program's options; sets main_<side>, chat_<side>
    local side=$1 top=$2
    shift 2
    HOME="$shots/home-$side" launch "$shots/$side.log" "$@"
    local pid=$launched main chat
    eval "$side=$pid"
    # The title names the network table once it is open.
    wait_for_window 20 "$pid" 'Vantaro( — .*)?' || fail "the $side program showed no windows"
    main=$found
    wait_for_window 20 "$pid" "Vantaro Chat" || fail "the $side program showed no windows"
    chat=$found
    xdotool windowmove --sync "$main" 0 "$top"
    xdotool windowmove --sync "$chat" 560 "$top"
    eval "main_$side=$main chat_$side=$chat"
}

start host 0 --host "$port"
read -r width height < <(window_size "$main_host")
[ "$width" = 512 ] || fail "the window is $width wide, not 512"
menu=$((height - 384))

note_name_box_colour

# The host's log has said it is hosting; it changes when the other player is in.
await 10 "the host's log to settle" still "$chat_host" log host-log
cp "$shots/host-log-3.png" "$shots/host-waiting.png"
start join 480 --join "127.0.0.1:$port"
await 15 "the host to see the other player" changed "$chat_host" log "$shots/host-waiting.png"
await 10 "the host's log to settle again" still "$chat_host" log host-log
shot "$chat_host" "$shots/connected-host-chat.png"
shot "$chat_join" "$shots/connected-join-chat.png"

# F2 at the host deals on both tables.
xdotool windowfocus --sync "$main_host"
xdotool key F2
await 15 "the deal on the host's table" name_box_shown "$main_host"
await 15 "the deal on the joiner's table" name_box_shown "$main_join"
shot "$main_join" "$shots/dealt-join.png"

play_match "$main_host" "$main_join" host join
[ "$(xdotool getwindowname "$main_host")" = "Vantaro — Network, you are Blue" ] || fail "the host's title is $(xdotool getwindowname "$main_host")"
[ "$(xdotool getwindowname "$main_join")" = "Vantaro — Network, you are Red" ] || fail "the joiner's title is $(xdotool getwindowname "$main_join")"
# The board is not the empty felt any more: the top-left square holds a card.
read -r r g b < <(pixel "$shots/end-host.png" 132 $((menu + 84)))
[ $((r > g + 40 || b > g + 40)) = 1 ] || fail "the top-left square shows no red or blue card ($r $g $b)"

# A line of chat each way: Enter sends it, empties the field, and the other
# side's log shows one more line.
say() { # from-chat to-chat text
    await 10 "the logs to settle" still "$2" log before-chat
    xdotool windowfocus --sync "$1"
    # The field starts with a word of its own; the line replaces whatever is there.
    xdotool key ctrl+a
    xdotool type --delay 20 "$3"
    shot "$1" "$shots/typed.png"
    xdotool key Return
    await 10 "the line to arrive" changed "$2" log "$shots/before-chat-3.png"
}
say "$chat_host" "$chat_join" "well played"
say "$chat_join" "$chat_host" "thanks, same again soon"
shot "$chat_host" "$shots/chat-host.png"
shot "$chat_join" "$shots/chat-join.png"
# The edit field is empty again after sending: it matches its look before typing.
edit_geometry="200x60+10+$((menu + 270))"
convert "$shots/typed.png" -crop "$edit_geometry" +repage "$shots/typed-edit.png"
import -window "$chat_join" -crop "$edit_geometry" +repage "$shots/sent-edit.png"
! same_picture "$shots/typed-edit.png" "$shots/sent-edit.png" || fail "the chat field kept its text after Enter"

# Ctrl+X closes each program with exit code 0; the joiner first sees the host leave.
still "$chat_join" log join-log || true
quit_program "$host" "$main_host"
await 10 "the joiner to note that the host left" changed "$chat_join" log "$shots/join-log-3.png"
shot "$chat_join" "$shots/host-gone-join-chat.png"
quit_program "$join" "$main_join"
echo "PASS: a whole match and a chat each way between two programs over 127.0.0.1, both boards alike"
