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

<h3>Three ways to play (File &rsaquo; Rules, Game Type)</h3>
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
<tr><td><b>F2</b> or a click on the table between matches</td><td>deal a new match (not while cards move)</td></tr>
<tr><td><b>Up / Down</b> or a click on a hand card</td><td>choose a card from your hand</td></tr>
<tr><td><b>Enter</b>, then the <b>arrows</b>, or the pointer over the board</td><td>take the card to the board and move over it</td></tr>
<tr><td><b>Enter</b> on an empty square, a click on it, or dragging the card there</td><td>play the card there; a dragged card let go elsewhere goes back to the hand</td></tr>
<tr><td><b>Esc</b>, a right click or a click off the board</td><td>back to your hand</td></tr>
<tr><td><b>H</b> (Help &rsaquo; Hint)</td><td>list the best moves with the result each forces, and point at the best one, so Enter plays it; not while you play a match on a server, whose
players are not advised (the server cannot see what a program works out); watching one, H lists the
best moves of the player to move</td></tr>
<tr><td><b>Ctrl+Z / Ctrl+Shift+Z</b> (Edit &rsaquo; Undo, Redo)</td><td>take back your last placement (against the computer, with its reply) and put it back; only while the cards are still, not in network play nor at a server's table, which keeps every
card played</td></tr>
<tr><td><b>Ctrl+1, Ctrl+2, Ctrl+3</b>, <b>Ctrl+plus / Ctrl+minus</b></td><td>the table at 1&times;, 2&times; or 3&times; its size, as far as the screen has room</td></tr>
<tr><td><b>F1</b></td><td>this page</td></tr>
<tr><td><b>Ctrl+X</b></td><td>quit</td></tr>
</table>
<p>The menu keys work from the side window too.</p>

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
)";

} // namespace

QString THowToPlay::Page() {
    return QString::fromUtf8(PageText);
}

QString AboutText() {
    return QStringLiteral("<h3>Vantaro %1</h3>"
                          "<p>A card game on a board of 3 &times; 3 squares for two players at one "
                          "keyboard (hot-seat), for one player against the computer (Single Player: "
                          "Easy, Normal or Perfect), or for two players on two computers across a "
                          "network (MultiPlayer TCP/IP).</p>"
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
