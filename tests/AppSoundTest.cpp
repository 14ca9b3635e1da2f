// Sounds: the generated files are sound WAV files of sane length and level,
// damaged ones are refused, and the table asks for the right sounds at the
// right moments, or for none with View › Sound off.
#include "AppWindowsFixture.h"
#include "app/ChatForm.h"
#include "app/RulesForm.h"
#include "app/Settings.h"
#include "app/Sound.h"
#include "app/SoundEffects.h"
#include "game/KeyCodes.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace {

QByteArray ReadSound(TSound sound) {
    QFile file(QStringLiteral(VANTARO_SOUNDS_DIR "/") + SoundName(sound) + ".wav");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int32_t Le32(const QByteArray& bytes, int at) {
    int32_t value;
    memcpy(&value, bytes.constData() + at, 4);
    return value;
}

TEST(AppSoundTest, EveryGeneratedSoundIsShortAudibleAndUnclipped) {
    for (int32_t index = 0; index < SoundCount; ++index) {
        const QByteArray bytes = ReadSound(TSound(index));
        SCOPED_TRACE(SoundName(TSound(index)));
        ASSERT_FALSE(WaveProblem(bytes).has_value()) << WaveProblem(bytes)->toStdString();
        // The generator writes the plain 44-byte header: 16-bit mono.
        const int32_t rate = Le32(bytes, 24);
        const int32_t samples = Le32(bytes, 40) / 2;
        const double seconds = double(samples) / rate;
        EXPECT_GE(seconds, 0.1);
        EXPECT_LE(seconds, 1.5);
        int32_t peak = 0;
        for (int32_t i = 0; i < samples; ++i) {
            int16_t sample;
            memcpy(&sample, bytes.constData() + 44 + 2 * i, 2);
            peak = std::max(peak, std::abs(int32_t(sample)));
        }
        EXPECT_GE(peak, 32767 / 4) << "too quiet to hear at the table";
        EXPECT_LE(peak, 32767 * 9 / 10) << "no headroom";
    }
}

TEST(AppSoundTest, DamagedWaveFilesAreRefused) {
    const QByteArray good = ReadSound(TSound::Place);
    ASSERT_FALSE(WaveProblem(good).has_value());
    auto with = [&good](int at, QByteArray bytes) {
        return QByteArray(good).replace(at, bytes.size(), bytes);
    };
    auto le16 = [](uint16_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    auto le32 = [](uint32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    const std::pair<const char*, QByteArray> damaged[] = {
        {"empty", QByteArray()},
        {"not RIFF", with(0, "RIFX")},
        {"not WAVE", with(8, "AVI ")},
        {"compressed", with(20, le16(3))},
        {"five channels", with(22, le16(5))},
        {"a rate of 1 Hz", with(24, le32(1))},
        {"24-bit samples", with(34, le16(24))},
        {"a data chunk past the end", with(40, le32(0x7ffffff0))},
        {"half a frame", with(40, le32(uint32_t(Le32(good, 40) - 1))).left(good.size() - 1)},
        {"no format chunk", with(12, "junk")},
        {"cut short", good.left(40)},
        {"too large", good + QByteArray(MaxSoundBytes, '\0')},
    };
    for (const auto& [what, bytes] : damaged) EXPECT_TRUE(WaveProblem(bytes).has_value()) << what;
}

// Hears which sounds were asked for.
class TSoundLog : public TSoundPlayer {
public:
    explicit TSoundLog(std::vector<TSound>& heard) : Heard(heard) {}
    void Play(TSound sound) override { Heard.push_back(sound); }
    std::vector<TSound>& Heard;
};

class AppSoundWindowTest : public TAppWindowsFixture {
protected:
    void Show(const QString& settingsFile = {}) {
        TShellEnvironment environment;
        environment.SettingsFile = settingsFile;
        environment.MakeSoundPlayer = [this](const TDataFolder&) {
            return std::make_unique<TSoundLog>(Heard);
        };
        ShowWindows(environment);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(VantaroForm));
    }
    // A hot-seat match in which each player plays the selected card on the
    // first empty square.
    void PlayHotSeat(const TGameRules& rules) {
        RulesForm->SetChoices(rules, TGameType::HotSeat, TLevel::Normal);
        VantaroForm->FileNewGameClick();
        for (int guard = 0; guard < 100 && Game().InProgress; ++guard) {
            RunFrames();
            for (int i = 0; i < 2; ++i) {
                uint16_t enter = VK_RETURN;
                VantaroForm->FormKeyDown(enter);
            }
        }
        RunFrames();
    }
    int Count(TSound sound) const { return int(std::count(Heard.begin(), Heard.end(), sound)); }
    std::vector<TSound> Heard;
};

TEST_F(AppSoundWindowTest, AHotSeatMatchSoundsItsDealPlacementsTurnsAndEnd) {
    ASSERT_NO_FATAL_FAILURE(Show());
    TGameRules rules;
    rules.Same = rules.Plus = rules.SameWall = true;
    int banners = 0, turns = 0;
    for (int match = 0; match < 6; ++match) {
        Heard.clear();
        Second += 7919;
        PlayHotSeat(rules);
        ASSERT_TRUE(Game().GameOver);
        EXPECT_EQ(Heard.front(), TSound::Deal);
        EXPECT_EQ(Count(TSound::Deal), 1);
        EXPECT_EQ(Count(TSound::Place), 9);
        // Two people at one keyboard: a decided match is somebody's win.
        const TSound end = Game().Score[0] == Game().Score[1] ? TSound::Draw : TSound::Win;
        EXPECT_EQ(Heard.back(), end);
        EXPECT_EQ(Count(TSound::Win) + Count(TSound::Loss) + Count(TSound::Draw), 1);
        banners += Count(TSound::Same) + Count(TSound::Plus) + Count(TSound::Combo);
        turns += Count(TSound::Turn);
    }
    EXPECT_GT(banners, 0) << "Same and Plus came up in none of the matches";
    EXPECT_GT(turns, 0);
}

TEST_F(AppSoundWindowTest, SoundOffIsSilentAndRemembered) {
    QTemporaryDir folder;
    const QString settings = folder.filePath("Vantaro.conf");
    ASSERT_NO_FATAL_FAILURE(Show(settings));
    EXPECT_TRUE(VantaroForm->Menus().ViewSound->isChecked()) << "sound is on at a first run";
    VantaroForm->Menus().ViewSound->trigger();
    EXPECT_FALSE(TSettings(settings).Load().Sound);
    PlayHotSeat({});
    EXPECT_TRUE(Heard.empty());
    VantaroForm->Menus().ViewSound->trigger();
    EXPECT_TRUE(TSettings(settings).Load().Sound);
    PlayHotSeat({});
    EXPECT_EQ(Count(TSound::Place), 9);
}

// With no sound device or no sound files the game plays on in silence, with
// a line in the log for each sound at most.
TEST(AppSoundTest, MissingSoundFilesCostALineEachAndNothingElse) {
    QTemporaryDir empty;
    std::vector<QString> log;
    TSoundEffects effects(TDataFolder(empty.path()), [&log](const QString& line) { log.push_back(line); });
    EXPECT_TRUE(log.empty()) << "nothing is said before a sound is asked for";
    for (int round = 0; round < 3; ++round)
        for (int32_t index = 0; index < SoundCount; ++index) effects.Play(TSound(index));
    EXPECT_GE(log.size(), 1u);
    EXPECT_LE(log.size(), size_t(SoundCount));
}

} // namespace
