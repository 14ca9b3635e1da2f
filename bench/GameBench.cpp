// The real frame step in each of its busy phases, and the real start-up,
// each against the memory floor of the same work measured in the same run.
#include "BenchRatio.h"
#include "app/ProgressForm.h"
#include "game/Game.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QWidget>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const QString Data = QStringLiteral(VANTARO_DATA_DIR);
constexpr int64_t BoardPixels = 512 * 384;
constexpr int64_t CardPixels = 85 * 110;

// A loaded game on a shown widget, its frame clock moving a millisecond at
// every reading so that each frame advances an animation by a millisecond,
// whatever the frame itself costs.
struct TLoadedGame {
    QWidget board;
    std::unique_ptr<TGame> game;
    uint64_t now = 0;

    TLoadedGame() {
        board.resize(512, 384);
        board.show();
        game = std::make_unique<TGame>([] { return int64_t(1700000000); }, [this] { return now += 1000; });
        game->Graphics->OpenDevice(&board);
        game->Sprites->LoadSprites(*game->Graphics, {}, {});
        game->Cards->LoadCards(*game->Graphics, {}, {});
    }

    // A dealt match with eight cards down, choosing a hand card, elemental
    // squares showing: the busiest resting picture.
    void Idle() {
        FlightLeg = 1;
        FlipStep = 1;
        game->AnimSprites.clear();
        game->Phase = TGame::PhaseIdle;
        TGameRules rules;
        rules.Elemental = true;
        game->NewGame(1, rules, false);
        game->AnimSprites.clear();
        game->Phase = TGame::PhaseIdle;
        TMatch& match = game->Arrange();
        int card = 3;
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                if (row != 2 || column != 2)
                    match.Board[row][column] = TOwnedCard(card++ % 110, (row + column) % 2);
        match.Hands[0][1] = match.Hands[1][1] = match.Hands[2][1] = -1;
        match.Hands[0][0] = match.Hands[1][0] = match.Hands[2][0] = match.Hands[3][0] = -1;
        game->HandCursor = 3;
    }

    void Flight() {
        Idle();
        game->Arrange().Board[1][1] = TOwnedCard();
        game->BoardCursorX = 1;
        game->BoardCursorY = 1;
        game->StartFlight(1, 1, TOwnedCard(42, 1));
    }

    void Flip() {
        Idle();
        const int32_t xs[4] = {1, 0, 2, 1}, ys[4] = {0, 1, 1, 2};
        TMatch& match = game->Arrange();
        TOwnedCard cards[4];
        for (int i = 0; i < 4; ++i) {
            cards[i] = TOwnedCard(match.Board[ys[i]][xs[i]].Card, 1);
            match.Board[ys[i]][xs[i]].Card = -1;
        }
        match.Board[1][1] = TOwnedCard(7, 1);
        match.PendingGroups = TMatch::GroupSame;
        game->StartFlip(xs, ys, cards, 1, 1, 4, game->Sprites->SameText.get());
    }
};

TLoadedGame* Loaded = nullptr;

template <class Setup> void RunFrames(benchmark::State& state, Setup setup, uint8_t phase) {
    (Loaded->*setup)();
    for (auto _ : state) {
        if (Loaded->game->Phase != phase) {
            state.PauseTiming();
            (Loaded->*setup)();
            state.ResumeTiming();
        }
        Loaded->game->DoFrame();
    }
}

void BM_FrameIdle(benchmark::State& state) {
    RunFrames(state, &TLoadedGame::Idle, TGame::PhaseIdle);
}
void BM_FrameFlight(benchmark::State& state) {
    RunFrames(state, &TLoadedGame::Flight, TGame::PhaseFlight);
}
void BM_FrameFlip(benchmark::State& state) {
    RunFrames(state, &TLoadedGame::Flip, TGame::PhaseFlipping);
}

// The pixels a frame must at least write: the background, every card it
// shows, and the finished picture once more into the window.
void MemoryFloor(benchmark::State& state, int64_t cards, int64_t extraPixels) {
    const int64_t pixels = 2 * BoardPixels + cards * CardPixels + extraPixels;
    std::vector<uint32_t> from(static_cast<size_t>(pixels), 7), to(static_cast<size_t>(pixels));
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size_t(pixels) * 4);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
// 8 board cards and 6 hand cards; the flight adds one card, the flip shows
// four cards at up to 118 x 150 and a 240 x 66 banner.
void BM_FloorIdle(benchmark::State& state) {
    MemoryFloor(state, 14, 0);
}
void BM_FloorFlight(benchmark::State& state) {
    MemoryFloor(state, 15, 0);
}
void BM_FloorFlip(benchmark::State& state) {
    MemoryFloor(state, 10, 4 * 118 * 150 + 240 * 66);
}

BENCHMARK(BM_FrameIdle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloorIdle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameFlight)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloorFlight)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameFlip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloorFlip)->Unit(benchmark::kMicrosecond);

// The whole loading sequence behind a progress window that repaints at every
// step, as the program starts.
void BM_StartUp(benchmark::State& state) {
    for (auto _ : state) {
        TProgressForm progress;
        progress.show();
        progress.repaint();
        const TTaskReporter report = [&progress](const std::string& task) { progress.SetTask(task); };
        QWidget board;
        board.resize(512, 384);
        TGame game;
        game.Graphics->OpenDevice(&board, report);
        game.Sprites->LoadSprites(*game.Graphics, report, {});
        game.Cards->LoadCards(*game.Graphics, report, {});
        if (game.Cards->NumCards != 110) state.SkipWithError("the data did not load");
    }
}
BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond);

// Reading the bytes of the same files.
void BM_StartUpFloor(benchmark::State& state) {
    QStringList files;
    QDirIterator all(Data, {"*.bmp", "*.dat"}, QDir::Files, QDirIterator::Subdirectories);
    while (all.hasNext()) files << all.next();
    for (auto _ : state) {
        int64_t bytes = 0;
        for (const QString& name : files) {
            QFile file(name);
            file.open(QIODevice::ReadOnly);
            bytes += file.readAll().size();
        }
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_StartUpFloor)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QDir::setCurrent(QFileInfo(Data).path());
    TLoadedGame loaded;
    if (loaded.game->Cards->NumCards != 110) {
        std::fprintf(stderr, "the generated data under %s did not load\n", qPrintable(Data));
        return 1;
    }
    Loaded = &loaded;
    return RunWithRatios(argc, argv,
                         {{"BM_FrameIdle", "BM_FloorIdle", 1.5},
                          {"BM_FrameFlight", "BM_FloorFlight", 1.5},
                          {"BM_FrameFlip", "BM_FloorFlip", 1.5},
                          {"BM_StartUp", "BM_StartUpFloor", 10.0}});
}
