#pragma once

#include <QDialog>

// A short page on the keys and every rule.
class THowToPlay : public QDialog {
public:
    explicit THowToPlay(QWidget* parent = nullptr);
};
