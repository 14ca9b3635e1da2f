#include "app/HowToPlay.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

const char* const Page = R"(
<h2>How to play Vantaro</h2>
<p>Two players share the keyboard. Red plays the hand on the left, Blue the hand on the
right; Blue moves first. Each card has four ranks, one per edge (A stands for 10).</p>
<h3>Keys</h3>
<table cellspacing="4">
<tr><td><b>F2</b></td><td>deal a new match</td></tr>
<tr><td><b>Up / Down</b></td><td>pick a card from your hand</td></tr>
<tr><td><b>Enter</b></td><td>take the card to the board</td></tr>
<tr><td><b>Arrows</b></td><td>move over the board</td></tr>
<tr><td><b>Enter</b></td><td>play the card on an empty square</td></tr>
<tr><td><b>Esc</b></td><td>back to your hand</td></tr>
</table>
<h3>Capturing</h3>
<p>A card you place captures every neighbouring card of your opponent whose facing edge
is lower than yours. Captured cards turn over into your colour.</p>
<h3>Optional rules (File &rsaquo; Rules, from the next match on)</h3>
<ul>
<li><b>Same</b>: when two or more of your edges equal the facing edges of their
neighbours, and at least one of those neighbours is your opponent's, you capture them.</li>
<li><b>Same Wall</b>: an edge of rank A facing the edge of the board counts as one equal
side for Same.</li>
<li><b>Plus</b>: when two or more neighbours give the same sum of your edge and theirs,
you capture those of them that are your opponent's.</li>
<li><b>Combo</b>: cards taken by Same or Plus go on to capture their own weaker
neighbours, and so on down the chain.</li>
<li><b>Elemental</b>: some squares carry an element. A card of that element gains one on
every edge there; any other card loses one.</li>
<li><b>Sudden Death</b>: a drawn match is dealt again at once, each player keeping the
cards he owned at its end.</li>
</ul>
<h3>Winning</h3>
<p>When the ninth card is down, whoever owns more cards, on the board and in hand, wins.
The two score digits show the result.</p>
)";

} // namespace

THowToPlay::THowToPlay(QWidget* parent) : QDialog(parent) {
    setWindowTitle("How to Play");
    auto* text = new QTextBrowser(this);
    text->setHtml(Page);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
    resize(460, 520);
}
