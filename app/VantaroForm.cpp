#include "app/VantaroForm.h"

#include "app/ChatForm.h"
#include "app/HowToPlay.h"
#include "app/ProgressForm.h"
#include "app/RulesForm.h"
#include "app/VirtualKeys.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

TVantaroForm* VantaroForm = nullptr;

TVantaroForm::TVantaroForm(TShellEnvironment environment)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      Environment(std::move(environment)) {
    setWindowTitle("Vantaro");
    setObjectName("VantaroForm");

    GameBoard = new QWidget(this);
    GameBoard->setObjectName("GameBoard");
    GameBoard->setFixedSize(512, 384);
    GameBoard->setAutoFillBackground(true);
    QPalette black = GameBoard->palette();
    black.setColor(QPalette::Window, Qt::black);
    GameBoard->setPalette(black);
    GameBoard->setFocusPolicy(Qt::NoFocus);
    setCentralWidget(GameBoard);

    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    FileMenu = MainMenu1->addMenu("&File");
    FileNewGame =
        FileMenu->addAction("&New Game", QKeySequence(Qt::Key_F2), this, [this] { FileNewGameClick(); });
    FileRules = FileMenu->addAction("&Rules", this, [this] { FileRulesClick(); });
    FileMenu->addSeparator();
    FileExit = FileMenu->addAction("E&xit", QKeySequence(Qt::CTRL | Qt::Key_X), this, [this] { close(); });
    HelpMenu = MainMenu1->addMenu("&Help");
    HelpMenu->addAction("&How to Play", this, [this] { ShowHowToPlay(); });
    HelpMenu->addAction("&About Vantaro", this, [this] { ShowAbout(); });

    // Every key goes to the window itself; nothing in it takes the focus.
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(sizeHint());
    move(197, 120);

    Game = std::make_unique<TGame>(Environment.CalendarClock, Environment.FrameClock);
}

TVantaroForm::~TVantaroForm() {
    // No frame may run on a game that is being destroyed.
    FrameLoop.reset();
    Game.reset();
}

void TVantaroForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (Shown) return;
    Shown = true;
    FormShow();
}

void TVantaroForm::RequestTermination() {
    TerminationRequested = true;
    // Ends the message loop once the running handler has returned.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TVantaroForm::FormShow() {
    const TTaskReporter report = [](const std::string& task) {
        if (ProgressForm) ProgressForm->SetTask(task);
    };
    if (ProgressForm) {
        ProgressForm->show();
        ProgressForm->repaint();
    }
    PlaceChatForm();

    if (!Game->Graphics->OpenDevice(GameBoard, report)) {
        // Nothing can be drawn, so loading the pictures would be pointless.
        if (Environment.Message) Environment.Message("Could not open the drawing device.");
        RequestTermination();
    } else if (const std::optional<TDataFolder> data = LocateData(); !data) {
        RequestTermination();
    } else {
        if (!Game->Sprites->LoadSprites(*Game->Graphics, report, Environment.Message, *data)) {
            RequestTermination();
        } else {
            FrameLoop = std::make_unique<TFrameLoop>(
                this, [this] { ApplicationIdle(); }, [this] { return Game->InProgress; });
            FrameLoop->Wake();
        }
        if (!Game->Cards->LoadCards(*Game->Graphics, report, Environment.Message, *data))
            RequestTermination();
    }

    if (ChatForm) {
        ChatForm->show();
        // Window frames are settled only once the windows are on screen, after
        // this handler; place it again then, against the frame as it really is.
        PlaceChatForm();
        QTimer::singleShot(0, this, [this] { PlaceChatForm(); });
    }
    if (ProgressForm) ProgressForm->hide();
    activateWindow();
    setFocus();
}

std::optional<TDataFolder> TVantaroForm::LocateData() const {
    const QString workingDir = QDir::currentPath();
    const QString applicationDir = Environment.ApplicationDir.isEmpty()
                                       ? QCoreApplication::applicationDirPath()
                                       : Environment.ApplicationDir;
    std::optional<TDataFolder> data = TDataFolder::Locate(workingDir, applicationDir);
    if (!data && Environment.Message)
        Environment.Message(TDataFolder::NotFoundMessage(workingDir, applicationDir));
    return data;
}

void TVantaroForm::PlaceChatForm() {
    if (!ChatForm) return;
    const QRect frame = frameGeometry();
    ChatForm->move(frame.x() + frame.width(), frame.y());
}

void TVantaroForm::ApplicationIdle() {
    Game->DoFrame();
}

void TVantaroForm::FileNewGameClick() {
    TGameRules rules;
    if (RulesForm) {
        rules.Open = RulesForm->Rules.Open;
        rules.Random = RulesForm->Rules.Random;
        rules.Same = RulesForm->Rules.Same;
        rules.SameWall = RulesForm->Rules.SameWall;
        rules.Plus = RulesForm->Rules.Plus;
        rules.Elemental = RulesForm->Rules.Elemental;
        rules.SuddenDeath = RulesForm->Rules.SuddenDeath;
    }
    Game->NewGame(1, rules, false);
    if (FrameLoop) FrameLoop->Wake();
}

void TVantaroForm::FileRulesClick() {
    if (RulesForm) RulesForm->exec();
}

void TVantaroForm::FormKeyDown(uint16_t& key) {
    Game->KeyDown(key);
}

void TVantaroForm::keyPressEvent(QKeyEvent* event) {
    if (auto key = VirtualKeyOf(*event)) {
        uint16_t code = *key;
        FormKeyDown(code);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TVantaroForm::closeEvent(QCloseEvent* event) {
    // The other windows never keep the program running on their own.
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TVantaroForm::ShowHowToPlay() {
    THowToPlay dialog(this);
    dialog.exec();
}

void TVantaroForm::ShowAbout() {
    QMessageBox::about(this, "About Vantaro",
                       "<h3>Vantaro</h3>"
                       "<p>A card game for two players at one keyboard.</p>"
                       "<p>Every card, picture and line of code was made for this game.</p>");
}
