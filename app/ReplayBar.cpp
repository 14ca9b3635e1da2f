#include "app/ReplayBar.h"

#include "app/ResultChart.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TReplayBar::TReplayBar(TActions actions, QWidget* parent) : QWidget(parent) {
    setObjectName("ReplayBar");
    const auto button = [this](const QString& text, const QString& tip, std::function<void()> action) {
        auto* made = new QPushButton(text, this);
        made->setToolTip(tip);
        made->setFocusPolicy(Qt::NoFocus);
        made->setFixedHeight(24);
        connect(made, &QPushButton::clicked, this, [action] {
            if (action) action();
        });
        return made;
    };
    StartButton = button(QStringLiteral("|\u25c0"), "To the start (Home)", actions.Start);
    BackButton = button(QStringLiteral("\u25c0"), "One placement back (Left)", actions.Back);
    PlayButton = button(QStringLiteral("Play"), "Play on at the game's pace (Space)", actions.Play);
    ForwardButton = button(QStringLiteral("\u25b6"), "One placement forward (Right)", actions.Forward);
    EndButton = button(QStringLiteral("\u25b6|"), "To the end (End)", actions.End);
    ReviewButton = button(QStringLiteral("Review"), "Score every move with the solver (R)", actions.Review);
    LeaveButton = button(QStringLiteral("Leave"), "Back to your table (Esc)", actions.Leave);
    Where = new QLabel(this);
    Where->setAlignment(Qt::AlignCenter);
    Chart = new TResultChart(this);

    auto* steps = new QHBoxLayout;
    steps->setSpacing(2);
    for (QPushButton* made : {StartButton, BackButton, PlayButton, ForwardButton, EndButton})
        steps->addWidget(made);
    auto* lower = new QHBoxLayout;
    lower->setSpacing(2);
    lower->addWidget(Where, 1);
    lower->addWidget(ReviewButton);
    lower->addWidget(LeaveButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(3);
    layout->addLayout(steps);
    layout->addLayout(lower);
    layout->addWidget(Chart, 1);
}

void TReplayBar::Show(int32_t shown, int32_t count, bool playing, bool reviewing) {
    Where->setText(QStringLiteral("%1 / %2").arg(shown).arg(count));
    Where->setToolTip(QStringLiteral("Placement %1 of %2").arg(shown).arg(count));
    PlayButton->setText(playing ? QStringLiteral("Stop") : QStringLiteral("Play"));
    ReviewButton->setText(reviewing ? QStringLiteral("Cancel") : QStringLiteral("Review"));
    StartButton->setEnabled(shown > 0);
    BackButton->setEnabled(shown > 0);
    ForwardButton->setEnabled(shown < count);
    EndButton->setEnabled(shown < count);
    Chart->SetCurrent(shown);
}
