#include "app/ProgressForm.h"
#include "TestSupport.h"
#include "cards/CardsInfo.h"
#include "render/GameSprites.h"
#include "render/Graphics.h"

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <gtest/gtest.h>
#include <string>

TEST(ProgressForm, WindowAndControlsSitWhereTheyBelong) {
    TProgressForm form;
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), "ProgressForm");
    EXPECT_EQ(form.size(), QSize(320, 288));
    EXPECT_EQ(form.minimumSize(), QSize(320, 288));
    EXPECT_EQ(form.maximumSize(), QSize(320, 288));
    EXPECT_EQ(form.pos(), QPoint(192, 107));
    // A fixed frame with no title-bar buttons.
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));

    EXPECT_EQ(form.SplashImage->geometry(), QRect(0, 0, 320, 240));
    EXPECT_EQ(form.SplashImage->pixmap().size(), QSize(320, 240));
    EXPECT_EQ(form.Label1->pos(), QPoint(0, 240));
    EXPECT_EQ(form.Label1->text(), "Please Wait While Vantaro Loads");
    EXPECT_EQ(form.Progress->geometry(), QRect(0, 256, 320, 16));
    EXPECT_EQ(form.Progress->minimum(), 0);
    EXPECT_EQ(form.Progress->maximum(), 112);
    EXPECT_EQ(form.Progress->value(), 0);
    EXPECT_EQ(form.Label2->pos(), QPoint(0, 272));
    EXPECT_EQ(form.Label2->text(), "Current Task: ");
    // The task follows its caption at x 72, or just past it where the font is wider.
    EXPECT_EQ(form.TaskLabel->y(), 272);
    EXPECT_GE(form.TaskLabel->x(), 72);
    EXPECT_EQ(form.TaskLabel->x(), std::max(72, form.Label2->geometry().right() + 1));
    EXPECT_TRUE(form.TaskLabel->text().isEmpty());
    // Every control lies inside the client area.
    for (const QWidget* control :
         {static_cast<QWidget*>(form.SplashImage), static_cast<QWidget*>(form.Label1),
          static_cast<QWidget*>(form.Progress), static_cast<QWidget*>(form.Label2)})
        EXPECT_TRUE(form.rect().contains(control->geometry())) << control->geometry().bottom();
}

TEST(ProgressForm, EveryStartUpStepAdvancesTheBarByOne) {
    TProgressForm form;
    std::vector<std::string> tasks = {"Initializing DirectDraw...", "Loading game sprites..."};
    for (int n = 1; n <= 110; ++n) tasks.push_back("Loading cards (" + std::to_string(n) + " of 110)...");

    int step = 0;
    for (const std::string& task : tasks) {
        form.SetTask(task);
        ++step;
        ASSERT_EQ(form.Progress->value(), step);
        ASSERT_EQ(form.TaskLabel->text().toStdString(), task);
        // The label grows with its text, so none of it is cut off.
        ASSERT_GE(form.TaskLabel->width(),
                  QFontMetrics(form.TaskLabel->font()).horizontalAdvance(task.c_str()));
    }
    EXPECT_EQ(form.Progress->value(), form.Progress->maximum());
    EXPECT_EQ(form.TaskLabel->text(), "Loading cards (110 of 110)...");
    EXPECT_EQ(form.TaskLabel->y(), 272);
}

TEST(ProgressForm, TheLoadersReportTheirStepsToTheWindow) {
    TScopedWorkDir dir;
    for (const char* name : {"Board", "SameText", "PlusText", "ComboText", "HandRight", "HandLeft",
                             "Numbers/-", "Numbers/+", "CardBack", "CardNameInfoBox"})
        dir.WriteBitmap(std::string("Data/") + name + ".bmp", 8, 8, QColor(255, 0, 255));
    for (int n = 1; n <= 9; ++n) {
        dir.WriteBitmap("Data/Numbers/" + std::to_string(n) + ".bmp", 4, 4, QColor(255, 0, 255));
        if (n <= 8) dir.WriteBitmap("Data/Elements/" + std::to_string(n) + ".bmp", 4, 4, QColor(255, 0, 255));
    }
    std::string records;
    for (int n = 1; n <= 110; ++n) records += "Card_" + std::to_string(n) + " 1 2 3 4 0\n";
    dir.WriteText("Data/Cards.dat", records);

    TProgressForm form;
    const auto report = [&form](const std::string& task) { form.SetTask(task); };
    TRecorder messages;
    QWidget panel;
    panel.resize(512, 384);
    auto pictures = [](const std::string& path, std::string&) -> std::unique_ptr<TSurface> {
        if (path == "Data/Blue/57.bmp") return nullptr;
        return std::make_unique<TSurface>(100, 127);
    };

    TGraphics graphics;
    ASSERT_TRUE(graphics.OpenDevice(&panel, report));
    EXPECT_EQ(form.Progress->value(), 1);
    TGameSprites sprites;
    ASSERT_TRUE(sprites.LoadSprites(graphics, report, messages.Sink()));
    EXPECT_EQ(form.Progress->value(), 2);
    EXPECT_EQ(form.TaskLabel->text(), "Loading game sprites...");

    // Card 57's blue face is missing: the window still names that card.
    TCardsInfo cards;
    EXPECT_FALSE(cards.LoadCards(pictures, report, messages.Sink()));
    EXPECT_EQ(messages.Lines, std::vector<std::string>{"Could not load file Data/Blue/57.bmp"});
    EXPECT_EQ(form.TaskLabel->text(), "Loading cards (57 of 110)...");
    EXPECT_EQ(form.Progress->value(), 2 + 57);

    // A complete start-up fills the bar exactly.
    TProgressForm fresh;
    const auto reportFresh = [&fresh](const std::string& task) { fresh.SetTask(task); };
    TGraphics device;
    ASSERT_TRUE(device.OpenDevice(&panel, reportFresh));
    TGameSprites set;
    ASSERT_TRUE(set.LoadSprites(device, reportFresh, messages.Sink()));
    TCardsInfo catalogue;
    ASSERT_TRUE(catalogue.LoadCards(
        [](const std::string&, std::string&) { return std::make_unique<TSurface>(100, 127); }, reportFresh,
        messages.Sink()));
    EXPECT_EQ(fresh.Progress->value(), 112);
    EXPECT_EQ(fresh.Progress->maximum(), 112);
    EXPECT_EQ(fresh.TaskLabel->text(), "Loading cards (110 of 110)...");
}
