#pragma once

#include <QDialog>
#include <QString>

// The page of Help › How to Play: every way to play, the keys and the mouse,
// zoom, undo and every rule.
class THowToPlay : public QDialog {
public:
    explicit THowToPlay(QWidget* parent = nullptr);

    static QString Page();
};

// Help › About: the version and the ways to play.
QString AboutText();
