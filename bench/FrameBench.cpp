// One representative frame composed with the device's own copies, against the
// floor of moving the same number of pixels with memcpy.
#include "BenchRatio.h"
#include "render/Graphics.h"
#include "render/Surface.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t Magenta = 0xffff00ffu;

// Opaque pictures are busy all over; keyed ones, like the game's pointers,
// digits and banners, are a shape with detail inside, on magenta.
std::unique_ptr<TSurface> Picture(int w, int h, int seed, bool keyed) {
    QImage image(w, h, QImage::Format_RGB32);
    const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = (x - cx) / (w / 2.0), dy = (y - cy) / (h / 2.0);
            const bool outside = keyed && dx * dx + dy * dy > 1.0;
            image.setPixel(x, y,
                           outside ? Magenta : qRgb((x * 7 + seed * 31) & 255, (y * 5 + seed) & 255, 90));
        }
    auto surface = std::make_unique<TSurface>(image);
    if (keyed) surface->SetColorKey(Magenta);
    return surface;
}

struct TFrameScene {
    QWidget target;
    TGraphics graphics;
    std::unique_ptr<TSurface> board = Picture(512, 384, 1, false);
    std::vector<std::unique_ptr<TSurface>> cards;
    std::vector<std::unique_ptr<TSurface>> small;
    std::vector<std::unique_ptr<TSurface>> stretched;
    std::vector<TRect> cardRects;

    TFrameScene() {
        target.resize(512, 384);
        graphics.OpenDevice(&target);
        for (int i = 0; i < 19; ++i) cards.push_back(Picture(100, 127, i, false));
        for (int i = 0; i < 12; ++i) small.push_back(Picture(i % 2 ? 37 : 25, i % 2 ? 25 : 32, i, true));
        for (int i = 0; i < 4; ++i) stretched.push_back(Picture(100, 127, 40 + i, true));
        // Nine board squares, ten hand slots, the last two reaching past the edges.
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col)
                cardRects.push_back({130 + 85 * col, 29 + 110 * row, 215 + 85 * col, 139 + 110 * row});
        for (int slot = 0; slot < 4; ++slot) {
            cardRects.push_back({10, 29 + 55 * slot, 95, 139 + 55 * slot});
            cardRects.push_back({417, 29 + 55 * slot, 502, 139 + 55 * slot});
        }
        cardRects.push_back({-40, -50, 45, 60});
        cardRects.push_back({470, 330, 555, 440});
    }

    int64_t CardPixels() const {
        int64_t n = 0;
        for (const TRect& r : cardRects) {
            const TRect v = r.Intersected(graphics.BackBufferRect);
            n += int64_t(v.Width()) * v.Height();
        }
        return n;
    }

    void Compose() {
        TSurface& back = *graphics.BackBuffer;
        back.Blt({0, 0, 512, 384}, board.get(), board->Bounds(), BltWait);
        for (size_t i = 0; i < cards.size(); ++i)
            back.Blt(cardRects[i], cards[i].get(), {0, 0, 100, 127}, BltWait);
        for (size_t i = 0; i < small.size(); ++i) {
            const int x = 20 + int(i) * 40, y = 340;
            back.Blt({x, y, x + small[i]->Width(), y + small[i]->Height()}, small[i].get(),
                     small[i]->Bounds(), BltWait | BltKeySrc);
        }
        const TRect odd[4] = {
            {197, 109, 315, 259}, {250, 120, 251, 238}, {180, 150, 298, 151}, {140, 40, 241, 170}};
        for (int i = 0; i < 4; ++i)
            back.Blt(odd[i], stretched[i].get(), {0, 0, 100, 127}, BltWait | BltKeySrc);
        graphics.WriteText("FPS: 4821", 0, 0, TA_LEFT, ColorWhite);
        graphics.WriteText("Ember Wyrmling", 256, 351, TA_CENTER, ColorWhite);
    }
};

TFrameScene* Scene = nullptr;

void BM_Frame(benchmark::State& state) {
    for (auto _ : state) {
        Scene->Compose();
        benchmark::DoNotOptimize(Scene->graphics.BackBuffer->Image().constBits());
    }
}
BENCHMARK(BM_Frame)->Unit(benchmark::kMicrosecond);

void BM_FrameFloor(benchmark::State& state) {
    const size_t backgroundBytes = 512 * 384 * 4;
    const size_t cardBytes = size_t(Scene->CardPixels()) * 4;
    std::vector<uint32_t> from((backgroundBytes + cardBytes) / 4, 7), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), backgroundBytes);
        std::memcpy(reinterpret_cast<char*>(to.data()) + backgroundBytes,
                    reinterpret_cast<const char*>(from.data()) + backgroundBytes, cardBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameFloor)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TFrameScene scene;
    Scene = &scene;
    return RunWithRatios(argc, argv, {{"BM_Frame", "BM_FrameFloor", 1.5}});
}
