#pragma once

#include <QString>
#include <cstdint>
#include <functional>

class QAction;
class QActionGroup;
class QMainWindow;
class QMenu;
class QMenuBar;

// The main window's menus: every command the table offers, with its short
// cut, in the order the menus show them. The items only call back; whether a
// command may run now is for whoever answers it.
class TMainMenu {
public:
    struct TCommands {
        std::function<void()> NewGame, Rules, PlayOnline, Resign, Rematch, Statistics, History, OpenRecord,
            SaveRecord, Review, LeaveReplay, Exit, Undo, Redo, ZoomIn, ZoomOut, ViewOptions, Hint, HowToPlay,
            About;
        std::function<void(int32_t)> Zoom;
        std::function<void(bool)> Sound;
    };

    TMainMenu(QMainWindow& window, TCommands commands);

    // Makes every command with a short cut work from `window` too, which
    // then answers them as the table does.
    void ShareShortcuts(QWidget& window) const;

    QMenuBar* Bar;
    QMenu* FileMenu;
    QAction* FileNewGame;
    QAction* FileRules;
    QAction* FilePlayOnline;
    QAction* FileResign;
    QAction* FileRematch;
    QAction* FileStatistics;
    QAction* FileHistory;
    QAction* FileOpenRecord;
    QAction* FileSaveRecord;
    QAction* FileReview;
    QAction* FileLeaveReplay;
    QAction* FileExit;
    QMenu* EditMenu;
    QAction* EditUndo;
    QAction* EditRedo;
    QMenu* ViewMenu;
    QAction* ViewZoom[3];
    QAction* ViewZoomIn;
    QAction* ViewZoomOut;
    QAction* ViewAnnounce;
    QAction* ViewFrameRate;
    QAction* ViewSound;
    QMenu* HelpMenu;
    QAction* HelpHint;
    QAction* HelpHowToPlay;
    QAction* HelpAbout;

private:
    QActionGroup* ZoomGroup;
};
