// The sound generator: synthesises every sound the game plays, from sine
// partials and filtered noise, into 16-bit mono WAV files. No sample is
// recorded or taken from elsewhere; the same sources give the same bytes.
//
// Usage: vantaro_soundgen FOLDER

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int32_t Rate = 22050;
constexpr double Pi = 3.14159265358979323846;

class TTrack {
public:
    explicit TTrack(double seconds) : Samples(size_t(seconds * Rate), 0.0) {}

    // A note of a few partials: a quick rise, then an exponential fall.
    void Tone(double start, double length, double frequency, double amplitude, double decay = 6.0,
              double brightness = 0.3) {
        const size_t first = size_t(start * Rate);
        const size_t count = size_t(length * Rate);
        for (size_t i = 0; i < count && first + i < Samples.size(); ++i) {
            const double t = double(i) / Rate;
            const double rise = std::min(1.0, t / 0.004);
            const double fall = std::exp(-decay * t) * std::min(1.0, (length - t) / 0.01);
            double value = 0;
            for (int partial = 1; partial <= 3; ++partial)
                value += std::pow(brightness, partial - 1) * std::sin(2 * Pi * frequency * partial * t);
            Samples[first + i] += amplitude * rise * fall * value;
        }
    }

    // Noise through a one-pole low-pass whose corner slides from `from` to
    // `to` Hz: the rustle of a card moving through air or onto felt.
    void Rustle(double start, double length, double from, double to, double amplitude, double decay = 20.0) {
        const size_t first = size_t(start * Rate);
        const size_t count = size_t(length * Rate);
        double low = 0;
        for (size_t i = 0; i < count && first + i < Samples.size(); ++i) {
            const double t = double(i) / Rate;
            const double corner = from + (to - from) * t / length;
            const double alpha = 1 - std::exp(-2 * Pi * corner / Rate);
            low += alpha * (NextNoise() - low);
            const double rise = std::min(1.0, t / 0.003);
            const double fall = std::exp(-decay * t) * std::min(1.0, (length - t) / 0.005);
            Samples[first + i] += amplitude * rise * fall * low;
        }
    }

    // Scaled so that the loudest sample stands at `peak` of full scale.
    std::vector<int16_t> Pcm(double peak) const {
        double loudest = 1e-9;
        for (double s : Samples) loudest = std::max(loudest, std::abs(s));
        std::vector<int16_t> pcm(Samples.size());
        for (size_t i = 0; i < Samples.size(); ++i)
            pcm[i] = int16_t(std::lround(std::clamp(Samples[i] / loudest * peak, -1.0, 1.0) * 32767));
        return pcm;
    }

private:
    double NextNoise() {
        State = State * 6364136223846793005ull + 1442695040888963407ull;
        return double(int32_t(State >> 32)) / 2147483648.0;
    }

    std::vector<double> Samples;
    uint64_t State = 0x5eed5eedull;
};

double Note(int semitonesFromA4) {
    return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0);
}

void PutLe(std::ofstream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(char((value >> (8 * i)) & 0xff));
}

bool WriteWave(const std::filesystem::path& path, const std::vector<int16_t>& pcm) {
    std::ofstream out(path, std::ios::binary);
    const uint32_t dataBytes = uint32_t(pcm.size() * 2);
    out.write("RIFF", 4);
    PutLe(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    PutLe(out, 16, 4);
    PutLe(out, 1, 2); // PCM
    PutLe(out, 1, 2); // mono
    PutLe(out, Rate, 4);
    PutLe(out, Rate * 2, 4);
    PutLe(out, 2, 2);
    PutLe(out, 16, 2);
    out.write("data", 4);
    PutLe(out, dataBytes, 4);
    for (int16_t sample : pcm) PutLe(out, uint16_t(sample), 2);
    return bool(out);
}

struct TMade {
    const char* Name;
    TTrack Track;
    double Peak;
};

std::vector<TMade> MakeSounds() {
    std::vector<TMade> made;

    TTrack deal(0.55); // ten cards slide out, two at a time
    for (int i = 0; i < 5; ++i) deal.Rustle(0.09 * i, 0.1, 5000, 1500, 1.0 - 0.08 * i, 28);
    made.push_back({"deal", deal, 0.5});

    TTrack place(0.16); // a card set down on the felt
    place.Rustle(0, 0.05, 3000, 600, 0.8, 60);
    place.Tone(0.004, 0.15, 150, 0.9, 30, 0.2);
    made.push_back({"place", place, 0.6});

    TTrack turn(0.2); // a card turned over: a flick that rises
    turn.Rustle(0, 0.18, 900, 6000, 1.0, 14);
    turn.Tone(0.1, 0.09, 1320, 0.12, 40, 0.1);
    made.push_back({"turn", turn, 0.45});

    TTrack same(0.45); // the same note twice
    same.Tone(0, 0.2, Note(3), 0.8, 9);
    same.Tone(0.18, 0.27, Note(3), 0.8, 8);
    made.push_back({"same", same, 0.55});

    TTrack plus(0.45); // a note and the fifth above it
    plus.Tone(0, 0.2, Note(3), 0.8, 9);
    plus.Tone(0.15, 0.3, Note(10), 0.8, 7);
    made.push_back({"plus", plus, 0.55});

    TTrack combo(0.62); // a run up a major chord
    const int run[] = {3, 7, 10, 15};
    for (int i = 0; i < 4; ++i) combo.Tone(0.1 * i, 0.32, Note(run[i]), 0.7, 8);
    made.push_back({"combo", combo, 0.6});

    TTrack win(1.1); // a fanfare: the chord rising, then held
    const int rising[] = {-9, -5, -2, 3};
    for (int i = 0; i < 4; ++i) win.Tone(0.12 * i, 0.4, Note(rising[i]), 0.6, 6, 0.4);
    for (int pitch : {-9, -5, -2, 3}) win.Tone(0.5, 0.6, Note(pitch), 0.35, 4, 0.4);
    made.push_back({"win", win, 0.65});

    TTrack loss(1.0); // falling through a minor chord, slower and softer
    const int falling[] = {-2, -6, -9, -14};
    for (int i = 0; i < 4; ++i) loss.Tone(0.18 * i, 0.45, Note(falling[i]), 0.6, 5, 0.15);
    made.push_back({"loss", loss, 0.5});

    TTrack draw(0.75); // two even notes, neither up nor down
    draw.Tone(0, 0.35, Note(-4), 0.7, 6, 0.25);
    draw.Tone(0.3, 0.45, Note(-4), 0.7, 5, 0.25);
    draw.Tone(0.3, 0.45, Note(3), 0.4, 5, 0.25);
    made.push_back({"draw", draw, 0.5});

    TTrack chat(0.3); // a soft two-note chime
    chat.Tone(0, 0.15, Note(15), 0.5, 14, 0.1);
    chat.Tone(0.09, 0.21, Note(20), 0.5, 12, 0.1);
    made.push_back({"chat", chat, 0.4});
    return made;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantaro_soundgen FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (const TMade& made : MakeSounds()) {
        const std::filesystem::path path = folder / (std::string(made.Name) + ".wav");
        if (!WriteWave(path, made.Track.Pcm(made.Peak))) {
            std::fprintf(stderr, "vantaro_soundgen: could not write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
