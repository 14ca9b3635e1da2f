#include "app/HowToPlay.h"

#include "vantaro_version.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

const char* const PageText = R"(
<h2>How to play Vantaro</h2>
<p>A match is played on a board of 3 &times; 3 squares. Each player is dealt five cards;
Red holds the hand on the left, Blue the hand on the right, and Blue moves first. Each card
has four ranks, one per edge (A stands for 10). The players take turns placing one card on
an empty square. When the ninth card is down, whoever owns more cards, on the board and in
hand, wins.</p>

<h3>Ways to play (File &rsaquo; Rules, Game Type; File &rsaquo; Play Online&hellip;)</h3>
<ul>
<li><b>Multiplayer Hot-Seat</b>: two players share the keyboard and the mouse and take
turns. View &rsaquo; Announce Turns and Results writes whose turn it is and who won on the
table.</li>
<li><b>Single Player</b>: you play Blue against the computer, which plays Red. Choose its
level: <b>Easy</b> mostly plays at random but likes a capture, <b>Normal</b> looks two moves
ahead and now and then settles for less, <b>Perfect</b> searches to the end of the match and
never makes a move that worsens what it can force. While it thinks, your keys and clicks
wait. The table shows your colour, whose turn it is and the result.</li>
<li><b>MultiPlayer TCP/IP</b>: two computers play across a network. One player chooses
<b>Host</b> with a port, the other <b>Join</b> with the host's name or address and the same
port. The host plays Blue, moves first and deals (F2 at the joiner's table asks the host to
deal). Type in the side window's field and press Enter to chat; Esc hands the keys back to
the table. The window's title says whether the program is hosting, joining or connected;
when the other player leaves, the table says so.</li>
</ul>

<h3>Keys and mouse</h3>
<table cellspacing="4">
<tr><td><b>F2</b> (File &rsaquo; New Game) or a click on the table between matches</td><td>deal a new match (not while cards move)</td></tr>
<tr><td><b>Up / Down</b> or a click on a hand card</td><td>choose a card from your hand</td></tr>
<tr><td><b>Enter</b>, then the <b>arrows</b>, or the pointer over the board</td><td>take the card to the board and move over it</td></tr>
<tr><td><b>Enter</b> on an empty square, a click on it, or dragging the card there</td><td>play the card there; a dragged card let go elsewhere goes back to the hand</td></tr>
<tr><td><b>Esc</b>, a right click or a click off the board</td><td>back to your hand</td></tr>
<tr><td><b>H</b> (Help &rsaquo; Hint)</td><td>list the best moves with the result each forces, and point at the best one, so Enter plays it; not while you play a match on a server, whose
players are not advised (the server cannot see what a program works out); watching one, H lists the
best moves of the player to move</td></tr>
<tr><td><b>Ctrl+Z / Ctrl+Shift+Z</b> (Edit &rsaquo; Undo, Redo)</td><td>take back your last placement (against the computer, with its reply) and put it back; only while the cards are still, not in network play nor at a server's table, which keeps every
card played</td></tr>
<tr><td><b>Ctrl+1, Ctrl+2, Ctrl+3</b> (View &rsaquo; Zoom 1&times;, Zoom 2&times;, Zoom 3&times;), <b>Ctrl++ / Ctrl+-</b> (Zoom In, Zoom Out)</td><td>the table at 1&times;, 2&times; or 3&times; its size, as far as the screen has room</td></tr>
<tr><td><b>M</b> (View &rsaquo; Sound)</td><td>sound on or off</td></tr>
<tr><td><b>F1</b> (Help &rsaquo; How to Play)</td><td>this page; Help &rsaquo; About Vantaro names the version</td></tr>
<tr><td>File &rsaquo; Resign&hellip;</td><td>at a server's table, give up your match in play (after a question; it counts as a loss)</td></tr>
<tr><td><b>Ctrl+R</b> (File &rsaquo; Rematch)</td><td>after a match on a server, ask the other player to play again; when both ask, the new match is dealt at the same table with the colours swapped</td></tr>
<tr><td><b>Ctrl+X</b> (File &rsaquo; Exit)</td><td>quit (during your match on a server, after a question)</td></tr>
</table>
<p>The menu keys work from the side window too. View &rsaquo; Announce Turns and Results
writes whose turn it is and the result on the table at one keyboard; View &rsaquo; Show
Frame Rate shows the frame counter.</p>

<h3>Capturing</h3>
<p>A card you place captures every neighbouring card of your opponent whose facing edge
is lower than yours. Captured cards turn over into your colour.</p>

<h3>Rules (File &rsaquo; Rules, from the next match on)</h3>
<p><b>Open</b> (both hands are shown) and <b>Random</b> (hands are dealt at random) are
always in force, which is why they are ticked and greyed.</p>
<ul>
<li><b>Same</b>: when two or more of your edges equal the facing edges of their
neighbours, and at least one of those neighbours is your opponent's, you capture them.</li>
<li><b>Same Wall</b>: an edge of rank A facing the edge of the board counts as one equal
side for Same.</li>
<li><b>Plus</b>: when two or more neighbours give the same sum of your edge and theirs,
you capture those of them that are your opponent's.</li>
<li><b>Combo</b> is not a box of its own: it comes with Same and Plus. Cards taken by Same
or Plus go on to capture their own weaker neighbours, and so on down the chain.</li>
<li><b>Elemental</b>: some squares carry an element. A card of that element gains one on
every edge there; any other card loses one.</li>
<li><b>Sudden Death</b>: a drawn match is dealt again at once, each player keeping the
cards they owned at its end. The side window says who moves first.</li>
</ul>

<h3>Playing online (File &rsaquo; Play Online&hellip;)</h3>
<p>Give a server (<i>host</i> or <i>host:port</i>) and your name (3 to 16 letters, digits,
- and _). The first time, the game shows the server's fingerprint: accept it only if it
is the one the server's owner gave you. The game makes an identity for you, kept in your
settings folder; the server binds your name to it the first time you use the name, so
copy that file to play as yourself on another computer.</p>
<ul>
<li>The <b>lobby</b> lists the players online and the tables. <b>Create Table</b> opens a
table with the rules and time per move you choose, <b>Sit</b> takes a table's open seat,
<b>Watch</b> watches any table, and <b>Leave Table</b> stands up (during a match that gives
it up, so the game asks first). A button that cannot act now is greyed, and its tooltip says why.</li>
<li><b>Play Now</b> pairs you with the nearest rating among the players who accept a rule
set and a time you accept: tick them under "Play Now accepts" (the ticks are remembered).
While you wait, a line says what for and for how long, and <b>Stop Waiting</b> withdraws.
Waiting at a table of your own, the lobby's players, tables and chat go on as well.</li>
<li><b>Challenge&hellip;</b> offers the player chosen in the list a match with the rules,
time and rating you choose; they <b>Accept</b> or <b>Decline</b> within a minute, and you can
<b>Withdraw</b> it. An accepted challenge opens its own table and starts at once.
<b>My Profile</b> opens your own profile.</li>
<li>Right-click a player in the lobby's list, or a line they said in the lobby's or a
table's chat, to <b>Follow</b> or <b>Block</b> them, or to <b>Report</b> them to the
server's moderators (abuse, cheating, spam, an offensive name or something else, with a
line of your own if you like; the server keeps their last lines of chat with the report).
A player's profile offers Follow and Block too. A blocked player's chat no longer reaches
you and Play Now never pairs you. The <b>People</b> tab shows whom you follow (online or
not, and where, to watch or challenge them) and whom you block, to unblock them; so does
your own profile. Arriving in the lobby, you see its last lines of chat marked
&ldquo;(earlier)&rdquo;. Moderators also get a <b>Moderation</b> tab: the open reports with their
evidence, the sanctions in force, and a form to mute or ban a player, their certificate
or an address range, to remove a player's lines from what new arrivals see, to lift a
sanction and to close a report.</li>
<li>When the connection is lost, the lobby says so and <b>Reconnect</b> connects and signs
in again. The line at the bottom chats with the lobby; at a table in play, the side
window's field chats with its players and watchers.</li>
<li>The match is played on the main window. The server deals and decides every move; a
move it refuses is answered in the side window with the reason. With a clock, each move
has its time, shown on the table all along and in red in its last seconds; running out of
it loses the match. <b>File &rsaquo; Resign</b> gives up the match, after a question; the
table says who resigned and who wins, and a rated match is rated as any other (given up
before both players have placed a card, nothing is won or rated).</li>
<li>When a match ends, <b>File &rsaquo; Rematch</b> (Ctrl+R) asks the other player to play
again; the table shows "Bob asks for a rematch" when they ask you, and the same command
accepts. The new match has the same rules, time and rating at the same table, with the
colours swapped. A click on the table (or F2) takes you back to the lobby instead, which
withdraws the offer.</li>
<li>Quitting the program or leaving the table during your match asks first: a match you
leave counts as a loss unless you come back while your seat is kept.</li>
<li>A dropped line is not the end: the game connects again by itself while your seat is
kept (a minute), saying so on the table, and the match is back as it stands. The other
player's seat is kept for them the same way, and the table counts down what is left of
it.</li>
<li>At a server table where you play, <b>Hint</b>, the solver's other help, <b>Undo</b> and
<b>Redo</b> are not offered. The server cannot see what a program computes, so a solver
one key away would make every rating meaningless; keeping it off keeps honest players
honest. Watching a table keeps the Hint; a replay has its Review.</li>
</ul>

<h3>Ratings</h3>
<p>A table is rated or casual (tick <b>Rated</b> before <b>Create Table</b> or in a
challenge; Play Now tables are rated). Everyone starts at 1500 &plusmn; 350; a rated result moves both players'
ratings, more while a rating is still uncertain, and the log gives the change. The lobby's
<b>Leaderboard</b> lists the best players with enough rated matches; a double click on a
name opens the player's <b>Profile</b>: their rating over time and their last matches,
each of which can be replayed.</p>

<h3>Match history, replays and review</h3>
<p>Every match played here is kept when it ends. <b>File &rsaquo; Match History&hellip;</b>
lists them, newest first; open one to replay it, or replay a record file with <b>File
&rsaquo; Open Match Record&hellip;</b>. <b>File &rsaquo; Save Match Record&hellip;</b> writes
the match on the table, or the replay shown, to a file. In a replay the table shows the
match after any placement: <b>Right / Left</b> step forward and back, <b>Home / End</b> go
to the deal and the end, <b>Space</b> plays on at the game's pace. <b>R</b> (File &rsaquo;
Review Match) scores every move with the solver and marks the moves that threw a result
away, with a chart of what best play forces after each move. <b>Esc</b> (File &rsaquo;
Leave Replay) puts your table back as you left it.</p>

<h3>Statistics (File &rsaquo; Statistics)</h3>
<p>Per game type and level: matches played, won, lost and drawn, the current and best
winning streak, the wins in which a hint was asked for or a placement taken back, and a
chart of the latest results. Online matches count for the player you were; a match you
only watched does not count. Reset forgets them all.</p>

<h3>Sound (View &rsaquo; Sound, M)</h3>
<p>The deal, a card landing, cards turning, the Same, Plus and Combo banners, the result
and a chat line each have a short sound. Without an audio device the game plays on
silently.</p>
)";

} // namespace

QString THowToPlay::Page() {
    return QString::fromUtf8(PageText);
}

QString AboutText() {
    return QStringLiteral("<h3>Vantaro %1</h3>"
                          "<p>A card game on a board of 3 &times; 3 squares for two players at one "
                          "keyboard (hot-seat), for one player against the computer (Single Player: "
                          "Easy, Normal or Perfect), for two players on two computers across a "
                          "network (MultiPlayer TCP/IP), or online through a Vantaro server.</p>"
                          "<p>Every card, picture and line of code was made for this game.</p>")
        .arg(QStringLiteral(VANTARO_VERSION));
}

THowToPlay::THowToPlay(QWidget* parent) : QDialog(parent) {
    setWindowTitle("How to Play");
    auto* text = new QTextBrowser(this);
    text->setHtml(Page());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
    resize(520, 560);
}
