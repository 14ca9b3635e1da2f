# What every end-to-end run shares, sourced by the scripts beside it: the
# program installed into a folder of its own, a private X server, and small
# helpers to find windows, read their pixels and wait for what a player sees.
# Every run takes the build folder and a folder for screenshots as arguments;
# e2e_begin reads them.

fail() {
    echo "FAIL: $*"
    # A script may say more about a failure by defining on_failure.
    if declare -F on_failure >/dev/null; then on_failure || true; fi
    exit 1
}

# Programs started and not yet seen to end; whatever still runs when the
# script stops, however it stops, is ended with the X server.
running=()
xvfb=""
cleanup() {
    local pid
    for pid in "${running[@]}"; do kill "$pid" 2>/dev/null || true; done
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT

# Arguments: the build folder, the screenshot folder, the screen's size (WxH).
# Sets shots and program, starts Xvfb and points DISPLAY at it; the working
# directory becomes the screenshot folder.
e2e_begin() {
    local build=$1 screen=$3
    shots=$2
    rm -rf "$shots"
    mkdir -p "$shots"
    local tool
    for tool in Xvfb xdotool import xwininfo convert compare; do
        command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
    done
    cmake --install "$build" --prefix "$shots/install" >/dev/null || fail "cmake --install"
    program="$shots/install/games/vantaro"

    # A display number of our own, told by the server itself. Servers looking
    # for a free display at the same moment can trip over one another (one
    # run's program once found no server on the display its server had
    # named), so the runs beside each other start theirs one at a time, and
    # each is seen to take a client before the next starts.
    # (The server must not inherit the lock, or it would hold it to its end.)
    exec 5> >(cat >"$shots/display")
    exec 6>"${TMPDIR:-/tmp}/vantaro-e2e-xvfb.lock"
    flock 6
    Xvfb -displayfd 5 -screen 0 "${screen}x24" -nolisten tcp >"$shots/xvfb.log" 2>&1 6>&- &
    xvfb=$!
    for _ in $(seq 100); do
        [ -s "$shots/display" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(head -1 "$shots/display")"
    for _ in $(seq 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && break
        sleep 0.1
    done
    xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb named $DISPLAY but takes no client there"
    exec 6>&-
    unset QT_QPA_PLATFORM
    # The program remembers its settings; a run starts from none and keeps its own.
    export XDG_CONFIG_HOME="$shots/config"
    cd "$shots" || fail "cannot enter $shots"
}

# Starts the installed program in the background. Arguments: a file for its
# output, then its options. Its process id goes into `launched`.
launch() {
    local log=$1
    shift
    "$program" "$@" >"$log" 2>&1 &
    launched=$!
    running+=("$launched")
}

# Polls for a shown window of one program by its exact title, for at most the
# given seconds; false if none showed. The window's id goes into `found`.
wait_for_window() { # seconds pid title
    local deadline=$((SECONDS + $1))
    while :; do
        found=$(xdotool search --all --onlyvisible --pid "$2" --name "^$3\$" 2>/dev/null | head -1 || true)
        [ -n "$found" ] && return 0
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Starts one copy of the program, logging to game.log, and waits for its main
# window, then for its chat window, which shows once loading has finished.
# Sets game (the process id) and window (the main window's id).
start_program() {
    launch "$shots/game.log"
    game=$launched
    wait_for_window 15 "$game" Vantaro || fail "no window called Vantaro appeared"
    window=$found
    wait_for_window 15 "$game" "Vantaro Chat" || true
}

window_size() { # window -> "width height"
    xwininfo -id "$1" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w, h}'
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

shot() { import -window "$1" "$2"; } # window file

pixel() { # file x y -> "r g b"
    convert "$1" -format '%[fx:int(255*p{'"$2"','"$3"'}.r)] %[fx:int(255*p{'"$2"','"$3"'}.g)] %[fx:int(255*p{'"$2"','"$3"'}.b)]' info:
    echo
}

same_picture() { # file file
    local diff
    diff=$(compare -metric AE "$1" "$2" /dev/null 2>&1 || true)
    [ "${diff%% *}" = 0 ]
}

# The card-name box shows only while a match waits for a choice in a hand: not
# while cards are dealt, fly or turn over. A pixel left of the name text,
# compared with the box's own picture, tells whether it is drawn. Needs `menu`,
# the height of the menu bar over the board at 1x.
note_name_box_colour() {
    local box_file
    box_file=$(find "$shots/install" -name CardNameInfoBox.bmp | head -1)
    [ -n "$box_file" ] || fail "the installed Data/ has no CardNameInfoBox.bmp"
    box_color=$(pixel "$box_file" 40 12)
}
name_box_shown() { # window
    shot "$1" "$shots/poll.png"
    [ "$(pixel "$shots/poll.png" 145 $((menu + 357)))" = "$box_color" ]
}
name_box_gone() { ! name_box_shown "$1"; }

# File > Exit (Ctrl+X) in the given window must end the program with code 0.
quit_program() { # pid window
    local pid=$1 status=0 kept=() other
    xdotool windowfocus --sync "$2"
    xdotool key ctrl+x
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    wait "$pid" || status=$?
    for other in "${running[@]}"; do [ "$other" = "$pid" ] || kept+=("$other"); done
    running=("${kept[@]}")
    [ "$status" = 0 ] || fail "the program ended with code $status"
}

# A region of a window at 1x: the board (x 130..385, y 29..359 of the drawing
# area), the two score digits, or the whole chat log. Needs `menu`.
crop() { # window region file
    local geometry
    case $2 in
    board) geometry="256x331+130+$((menu + 29))" ;;
    scores) geometry="512x34+0+$((menu + 350))" ;;
    log) geometry="242x257+0+$menu" ;;
    esac
    import -window "$1" -crop "$geometry" +repage "$3"
}
# Nothing moves in any of the regions given: three pictures of each, over more
# than a second, agree. The regions are taken in turn within each round, so
# that two tables cost one wait, not two.
still() { # window region name [window region name ...]
    local given=("$@") round i
    for round in 1 2 3; do
        [ "$round" = 1 ] || sleep 0.6
        for ((i = 0; i < ${#given[@]}; i += 3)); do
            crop "${given[i]}" "${given[i + 1]}" "$shots/${given[i + 2]}-$round.png"
        done
    done
    for ((i = 2; i < ${#given[@]}; i += 3)); do
        same_picture "$shots/${given[i]}-1.png" "$shots/${given[i]}-2.png" &&
            same_picture "$shots/${given[i]}-2.png" "$shots/${given[i]}-3.png" || return 1
    done
}
changed() { # window region reference
    crop "$1" "$2" "$shots/changed.png"
    ! same_picture "$shots/changed.png" "$3"
}

# Two tables playing one match: the main windows of Blue and Red and a name
# for each, for the pictures taken of them.
tables_agree() { # blue-window red-window blue-name red-name
    still "$1" board "$3-board" "$2" board "$4-board" &&
        same_picture "$shots/$3-board-3.png" "$shots/$4-board-3.png"
}
# At the end each table shows its own result over the board ("You win", "You
# lose"), so the boards are compared no more: both come to rest with the same score.
scores_agree() { # blue-window red-window blue-name red-name
    still "$1" board "$3-board" "$2" board "$4-board" "$1" scores "$3-scores" "$2" scores "$4-scores" &&
        same_picture "$shots/$3-scores-3.png" "$shots/$4-scores-3.png"
}
# Nine plays, Blue first, with real keys: each side plays its selected card to
# the first empty square once the other side's card has landed on both tables,
# then both must come to rest with the same score. Needs note_name_box_colour.
# A script may define between_plays (play and the same arguments), called
# once both tables agree, before each play.
play_match() { # blue-window red-window blue-name red-name
    local play mover
    for play in $(seq 9); do
        await 30 "both tables to agree before play $play" tables_agree "$@"
        if [ "$(type -t between_plays)" = function ]; then between_plays "$play" "$@"; fi
        if [ $((play % 2)) = 1 ]; then mover=$1; else mover=$2; fi
        xdotool windowfocus --sync "$mover"
        xdotool key Return
        xdotool key Return
        await 10 "play $play to start" name_box_gone "$mover"
    done
    await 30 "both tables to rest with the same score" scores_agree "$@"
    shot "$1" "$shots/end-$3.png"
    shot "$2" "$shots/end-$4.png"
}
