#pragma once

#include "app/FrameLoop.h"
#include "game/Game.h"
#include "render/DataFolder.h"
#include "render/Reporting.h"

#include <QMainWindow>
#include <memory>
#include <optional>

class QAction;
class QMenu;

// What the shell takes from the outside world; tests replace all of it.
struct TShellEnvironment {
    TMessageSink Message = ShowMessageBox;
    TCalendarClock CalendarClock = CalendarSeconds;
    TMicrosecondClock FrameClock = MonotonicMicroseconds;
    // Where Data/ is looked for when the working directory has none; empty
    // for the folder of the program itself.
    QString ApplicationDir;
};

// The main window: the board panel the game draws into, the menu, and the
// keyboard. Its first showing loads everything behind the progress window.
class TVantaroForm : public QMainWindow {
public:
    explicit TVantaroForm(TShellEnvironment environment = {});
    ~TVantaroForm() override;

    void FormShow();
    void ApplicationIdle();
    void FileNewGameClick();
    void FileRulesClick();
    void FormKeyDown(uint16_t& key);

    bool IdleHookInstalled() const { return FrameLoop != nullptr; }
    // Set once a load failed and the program was asked to end.
    bool TerminationRequested = false;

    std::unique_ptr<TGame> Game;
    // Runs ApplicationIdle once per display refresh while the match moves.
    std::unique_ptr<TFrameLoop> FrameLoop;
    QWidget* GameBoard;
    QMenuBar* MainMenu1;
    QMenu* FileMenu;
    QAction* FileNewGame;
    QAction* FileRules;
    QAction* FileExit;
    QMenu* HelpMenu;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void RequestTermination();
    // The folder holding Data/, or nothing after telling the player where it was looked for.
    std::optional<TDataFolder> LocateData() const;
    void PlaceChatForm();
    void ShowHowToPlay();
    void ShowAbout();

    TShellEnvironment Environment;
    bool Shown = false;
};

extern TVantaroForm* VantaroForm;
