#include "app/MainMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

TMainMenu::TMainMenu(QMainWindow& window, TCommands commands) {
    QMainWindow* const w = &window;
    Bar = window.menuBar();
    Bar->setObjectName("MainMenu1");
    FileMenu = Bar->addMenu("&File");
    FileNewGame = FileMenu->addAction("&New Game", QKeySequence(Qt::Key_F2), w, commands.NewGame);
    FileRules = FileMenu->addAction("&Rules", w, commands.Rules);
    FilePlayOnline = FileMenu->addAction("Play &Online…", w, commands.PlayOnline);
    // A server's table: giving up the match in play (no short cut: it asks
    // first all the same), and playing the ended one again.
    FileResign = FileMenu->addAction("Resi&gn…", w, commands.Resign);
    FileRematch = FileMenu->addAction("Re&match", QKeySequence(Qt::CTRL | Qt::Key_R), w, commands.Rematch);
    FileResign->setEnabled(false);
    FileRematch->setEnabled(false);
    // Beside the other commands about the match.
    FileStatistics = new QAction("S&tatistics", w);
    FileStatistics->setObjectName("FileStatistics");
    QObject::connect(FileStatistics, &QAction::triggered, w, commands.Statistics);
    FileMenu->addAction(FileStatistics);
    // Match records and replays, together before Exit.
    FileMenu->addSeparator();
    FileHistory = new QAction("Match &History…", w);
    FileHistory->setObjectName("FileHistory");
    QObject::connect(FileHistory, &QAction::triggered, w, commands.History);
    FileOpenRecord = new QAction("&Open Match Record…", w);
    QObject::connect(FileOpenRecord, &QAction::triggered, w, commands.OpenRecord);
    FileSaveRecord = new QAction("&Save Match Record…", w);
    QObject::connect(FileSaveRecord, &QAction::triggered, w, commands.SaveRecord);
    FileReview = new QAction("Re&view Match", w);
    QObject::connect(FileReview, &QAction::triggered, w, commands.Review);
    FileLeaveReplay = new QAction("&Leave Replay", w);
    QObject::connect(FileLeaveReplay, &QAction::triggered, w, commands.LeaveReplay);
    for (QAction* action : {FileHistory, FileOpenRecord, FileSaveRecord, FileReview, FileLeaveReplay})
        FileMenu->addAction(action);
    FileReview->setVisible(false);
    FileLeaveReplay->setVisible(false);
    FileMenu->addSeparator();
    FileExit = FileMenu->addAction("E&xit", QKeySequence(Qt::CTRL | Qt::Key_X), w, commands.Exit);

    EditMenu = Bar->addMenu("&Edit");
    EditMenu->setObjectName("EditMenu");
    EditUndo = EditMenu->addAction("&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), w, commands.Undo);
    EditRedo = EditMenu->addAction("&Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), w, commands.Redo);
    EditUndo->setEnabled(false);
    EditRedo->setEnabled(false);

    ViewMenu = Bar->addMenu("&View");
    ZoomGroup = new QActionGroup(w);
    const Qt::Key digits[3] = {Qt::Key_1, Qt::Key_2, Qt::Key_3};
    for (int32_t factor = 1; factor <= 3; ++factor) {
        QAction* zoom = ViewMenu->addAction(QString("Zoom &%1\u00d7").arg(factor),
                                            QKeySequence(Qt::CTRL | digits[factor - 1]), w,
                                            [zoomTo = commands.Zoom, factor] { zoomTo(factor); });
        zoom->setCheckable(true);
        zoom->setActionGroup(ZoomGroup);
        ViewZoom[factor - 1] = zoom;
    }
    ViewZoom[0]->setChecked(true);
    ViewMenu->addSeparator();
    ViewZoomIn = ViewMenu->addAction("Zoom &In", w, commands.ZoomIn);
    // Ctrl and the key that carries + unshifted on most keyboards, too.
    ViewZoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    ViewZoomOut =
        ViewMenu->addAction("Zoom &Out", QKeySequence(Qt::CTRL | Qt::Key_Minus), w, commands.ZoomOut);
    ViewMenu->addSeparator();
    ViewAnnounce = ViewMenu->addAction("&Announce Turns and Results", w, commands.ViewOptions);
    ViewAnnounce->setCheckable(true);
    ViewFrameRate = ViewMenu->addAction("Show &Frame Rate", w, commands.ViewOptions);
    ViewFrameRate->setCheckable(true);
    ViewFrameRate->setChecked(true);
    ViewMenu->addSeparator();
    ViewSound = ViewMenu->addAction("&Sound", QKeySequence(Qt::Key_M), w,
                                    [this, sound = commands.Sound] { sound(ViewSound->isChecked()); });
    ViewSound->setObjectName("ViewSound");
    ViewSound->setCheckable(true);

    HelpMenu = Bar->addMenu("&Help");
    HelpHint = HelpMenu->addAction("&Hint", QKeySequence(Qt::Key_H), w, commands.Hint);
    HelpMenu->addSeparator();
    HelpHowToPlay = HelpMenu->addAction("&How to Play", QKeySequence(Qt::Key_F1), w, commands.HowToPlay);
    HelpAbout = HelpMenu->addAction("&About Vantaro", w, commands.About);
}

void TMainMenu::ShareShortcuts(QWidget& window) const {
    // An action works wherever a widget it was added to has its window active;
    // every menu command of the table so works from the other window as well.
    for (QAction* menu : Bar->actions())
        if (menu->menu())
            for (QAction* action : menu->menu()->actions())
                if (!action->isSeparator() && !action->shortcut().isEmpty()) window.addAction(action);
}
