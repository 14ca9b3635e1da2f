#!/usr/bin/env bash
# Two copies of the installed program meet through the installed server on
# 127.0.0.1: each opens the lobby with --online, Play Now pairs them, and they
# play a whole match with real key events, each on its turn. At the end both
# windows must show the same board and the same scores, and both must close
# with exit code 0.
# Arguments: the build folder, a folder for screenshots.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
on_failure() {
    import -window root "$shots/failed-screen.png" 2>/dev/null || true
    for side in blue red server; do
        [ -s "$shots/$side.log" ] && { echo "--- $side output:"; tail -20 "$shots/$side.log"; }
    done
}
e2e_begin "$1" "$2" 1280x1024
unset XDG_CONFIG_HOME

# The server on a port of its own choosing, which its log tells, with the
# fingerprint it logs at start. Started again, it keeps its port and its data.
# A seat is kept 15 s for a player who went away: long enough for both
# programs to come back after a restart, short enough to see a forfeit.
printf '[matches]\naway_seconds = 15\n' >"$shots/server.conf"
start_server() { # port
    "$shots/install/bin/vantaro-server" --listen 127.0.0.1 --port "$1" --data "$shots/server-data" \
        --config "$shots/server.conf" >>"$shots/server.log" 2>&1 &
    server=$!
    running+=("$server")
}
start_server 0
await 15 "the server to listen" grep -q "listening on 127.0.0.1 port" "$shots/server.log"
port=$(sed -n 's/.*listening on 127.0.0.1 port \([0-9]*\).*/\1/p' "$shots/server.log" | head -1)
fingerprint=$(sed -n 's/.*fingerprint \([0-9A-F:]*\).*/\1/p' "$shots/server.log" | head -1 | tr -d : |
    tr A-F a-f)
[ ${#fingerprint} = 64 ] || fail "no fingerprint in the server's log"

# Each player has a home of their own, with a name remembered and the
# server's fingerprint trusted already (the first-use question is a test of its own).
start() { # side name top
    local side=$1 name=$2 top=$3
    mkdir -p "$shots/home-$side/.config/Vantaro"
    printf '[Online]\nName=%s\n' "$name" >"$shots/home-$side/.config/Vantaro/Vantaro.conf"
    echo "127.0.0.1 $port $fingerprint" >"$shots/home-$side/.config/Vantaro/servers"
    HOME="$shots/home-$side" launch "$shots/$side.log" --online "127.0.0.1:$port"
    local pid=$launched deadline=$((SECONDS + 20)) lobby=""
    eval "$side=$pid"
    wait_for_window 20 "$pid" Vantaro || fail "the $side program showed no main window"
    local main=$found
    while [ -z "$lobby" ]; do
        lobby=$(xdotool search --all --onlyvisible --pid "$pid" --name "Online Lobby" 2>/dev/null | head -1 || true)
        [ "$SECONDS" -lt "$deadline" ] || fail "the $side program showed no lobby"
        sleep 0.1
    done
    xdotool windowmove --sync "$main" 0 "$top"
    xdotool windowmove --sync "$lobby" 560 "$top"
    eval "main_$side=$main lobby_$side=$lobby"
}
signed_in() { grep -q "new player $1" "$shots/server.log"; }
players_back() { [ "$(grep -c "is back at table" "$shots/server.log")" -ge "$1" ]; }

start blue Bluebell 0
await 15 "Bluebell to sign in" signed_in Bluebell
start red Redwing 480
await 15 "Redwing to sign in" signed_in Redwing
read -r width height < <(window_size "$main_blue")
menu=$((height - 384))

# Play Now: the first waits (and plays Blue), the second is paired with it on
# the rule sets and times both accept by default.
xdotool windowfocus --sync "$lobby_blue"
xdotool key alt+p
# The waiting line shows once the server's answer has come.
sleep 2
shot "$lobby_red" "$shots/lobby-red.png"
xdotool windowfocus --sync "$lobby_red"
xdotool key alt+p
await 15 "the match to start" grep -q "Redwing against Bluebell" "$shots/server.log"

note_name_box_colour
await 15 "the deal on Blue's table" name_box_shown "$main_blue"
await 15 "the deal on Red's table" name_box_shown "$main_red"
shot "$main_red" "$shots/dealt-red.png"

# A server's table takes back nothing and gives no hints: before play 4,
# Ctrl+Z and H in both windows leave both boards as they were. Before play 6
# the server is killed and started again; both programs come back to their
# seats by themselves and the match goes on to its end.
between_plays() { # play blue-window red-window blue-name red-name
    local window kept=() other
    case $1 in
    4)
        cp "$shots/$4-board-3.png" "$shots/$4-board-before.png"
        for window in "$2" "$3"; do
            xdotool windowfocus --sync "$window"
            xdotool key ctrl+z h
        done
        sleep 1
        tables_agree "${@:2}" || fail "Ctrl+Z or H changed a server's table"
        same_picture "$shots/$4-board-3.png" "$shots/$4-board-before.png" ||
            fail "Ctrl+Z or H changed Blue's board"
        ;;
    6)
        kill -9 "$server"
        wait "$server" 2>/dev/null || true
        for other in "${running[@]}"; do [ "$other" = "$server" ] || kept+=("$other"); done
        running=("${kept[@]}")
        local before
        before=$(grep -c "is back at table" "$shots/server.log" || true)
        start_server "$port"
        await 40 "both players back at their seats" players_back $((before + 2))
        ;;
    esac
}

# A card lands once the server has accepted it.
play_match "$main_blue" "$main_red" blue red
await 10 "the server to end the match" grep -q "ended: finished" "$shots/server.log"
shot "$lobby_blue" "$shots/lobby-blue-after.png"

# A second match: back in the lobby (F2 at the ended table), Play Now pairs
# them again. After two plays Red's program is closed; once the seat's 15 s
# are spent the server gives Blue the match, and Blue's table shows it over
# the board.
for side in blue red; do
    eval "main=\$main_$side lobby=\$lobby_$side"
    xdotool windowfocus --sync "$main"
    xdotool key F2
    sleep 1
    xdotool windowfocus --sync "$lobby"
    xdotool key alt+p
done
await 15 "the second match to start" grep -q "match 2 at table" "$shots/server.log"
await 15 "the second deal on Blue's table" name_box_shown "$main_blue"
await 15 "the second deal on Red's table" name_box_shown "$main_red"
# The log names Red, then Blue; Blue plays first.
blue_player=$(grep "match 2 at table" "$shots/server.log" | sed 's/.* against \(.*\)$/\1/')
[ "$blue_player" = Redwing ] && movers=("$main_red" "$main_blue") || movers=("$main_blue" "$main_red")
for play in 1 2; do
    await 30 "both tables to agree before play $play of the second match" \
        tables_agree "$main_blue" "$main_red" blue red
    xdotool windowfocus --sync "${movers[play - 1]}"
    xdotool key Return Return
    await 10 "play $play of the second match to start" name_box_gone "${movers[play - 1]}"
done
await 30 "both tables to agree before Red leaves" tables_agree "$main_blue" "$main_red" blue red
# Closed without a word (the window's own Quit asks first; its answer is a
# test of the windows): the server sees the line drop.
kill "$red"
wait "$red" 2>/dev/null || true
kept=()
for other in "${running[@]}"; do [ "$other" = "$red" ] || kept+=("$other"); done
running=("${kept[@]}")
await 40 "the server to give Blue the match" grep -q "match 2 ended: forfeit" "$shots/server.log"
await 10 "Blue's table to show the ending" changed "$main_blue" board "$shots/blue-board-3.png"
await 10 "Blue's table to come to rest" still "$main_blue" board blue-ended
shot "$main_blue" "$shots/forfeit-blue.png"

quit_program "$blue" "$main_blue"
echo "PASS: two programs met in a server's lobby and played a whole match through it, both ending with the same score; both came back after the server was killed; a closed program forfeited the next match to the other"
