#include "cards/CardsInfo.h"
#include "TestSupport.h"
#include "render/Graphics.h"

#include <QImage>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

struct TRecord {
    std::string word; // as written in the file
    std::array<int32_t, 4> ranks;
    int32_t element;
};

// 110 ordinary records, each different from its neighbours.
std::vector<TRecord> StandardRecords() {
    std::vector<TRecord> records;
    for (int32_t n = 1; n <= 110; ++n)
        records.push_back({"Card_" + std::to_string(n), {n % 10 + 1, n * 3 % 11, n * 7 % 13, n % 4}, n % 9});
    return records;
}

std::string Tokens(const TRecord& record, const std::string& between) {
    std::string text = record.word;
    for (int32_t rank : record.ranks) text += between + std::to_string(rank);
    return text + between + std::to_string(record.element);
}

// One record a line, as the shipped file is written.
std::string CardFile(const std::vector<TRecord>& records) {
    std::string text;
    for (const TRecord& record : records) text += Tokens(record, " ") + "\n";
    return text;
}

std::string Blanked(std::string word) {
    for (char& c : word)
        if (c == '_') c = ' ';
    return word;
}

// Stands in for the device's bitmap loading: records every path asked for
// and hands out small surfaces sharing one picture, so the test can tell
// whether any of them is still alive.
struct TFakePictures {
    std::vector<std::string> Paths;
    std::set<std::string> Missing;
    QImage Shared{TCardsInfo::FaceWidth, TCardsInfo::FaceHeight, QImage::Format_RGB32};
    std::vector<std::string>* Log = nullptr;

    TPictureLoader Loader() {
        return [this](const std::string& path, std::string&) -> std::unique_ptr<TSurface> {
            Paths.push_back(path);
            if (Log) Log->push_back(path);
            if (Missing.count(path)) return nullptr;
            return std::make_unique<TSurface>(Shared);
        };
    }
    // No surface handed out by this loader is still held by anyone.
    bool AllReleased() const { return Shared.isDetached(); }
};

void ExpectCard(const TCardInfo& card, const TRecord& record) {
    EXPECT_EQ(card.Name, Blanked(record.word));
    EXPECT_EQ(card.Ranks, record.ranks);
    EXPECT_EQ(card.Element, record.element);
}

class CardsInfo : public testing::Test {
protected:
    bool Load(TFakePictures& pictures) {
        return Cards.LoadCards(pictures.Loader(), Tasks.Sink(), Messages.Sink());
    }

    // Loads the given card file text with pictures that always load.
    bool LoadText(const std::string& text) {
        Dir.WriteText("Data/Cards.dat", text);
        TFakePictures pictures;
        return Load(pictures);
    }

    TScopedWorkDir Dir;
    TCardsInfo Cards;
    TRecorder Tasks;
    TRecorder Messages;
};

// The real picture files, each filled with a colour that names the card and
// its side: red (200, n, 0) and blue (0, n, 200).
class CardsInfoFiles : public CardsInfo {
protected:
    void SetUp() override {
        Dir.WriteText("Data/Cards.dat", CardFile(StandardRecords()));
        for (int n = 1; n <= 110; ++n) {
            Dir.WriteBitmap("Data/Red/" + std::to_string(n) + ".bmp", 100, 127, QColor(200, n, 0));
            Dir.WriteBitmap("Data/Blue/" + std::to_string(n) + ".bmp", 100, 127, QColor(0, n, 200));
        }
    }

    TGraphics Graphics;
};

} // namespace

TEST_F(CardsInfoFiles, LoadsTheWholeCatalogue) {
    EXPECT_EQ(Cards.NumCards, 0);
    ASSERT_TRUE(Cards.LoadCards(Graphics, Tasks.Sink(), Messages.Sink()));
    EXPECT_EQ(Cards.NumCards, 110);
    EXPECT_TRUE(Messages.Lines.empty());
    ASSERT_EQ(Tasks.Lines.size(), 110u);
    EXPECT_EQ(Tasks.Lines.front(), "Loading cards (1 of 110)...");
    EXPECT_EQ(Tasks.Lines[56], "Loading cards (57 of 110)...");
    EXPECT_EQ(Tasks.Lines.back(), "Loading cards (110 of 110)...");

    const std::vector<TRecord> records = StandardRecords();
    for (int32_t i = 0; i < 110; ++i) {
        SCOPED_TRACE(i);
        ExpectCard(Cards.CardTable[i], records[i]);
        const TSurface* red = Cards.GetCardPicture(i, 0);
        const TSurface* blue = Cards.GetCardPicture(i, 1);
        ASSERT_TRUE(red);
        ASSERT_TRUE(blue);
        EXPECT_NE(red, blue);
        EXPECT_EQ(red->Bounds(), (TRect{0, 0, 100, 127}));
        EXPECT_EQ(red->Pixel(50, 60), qRgb(200, i + 1, 0));
        EXPECT_EQ(blue->Pixel(50, 60), qRgb(0, i + 1, 200));
        EXPECT_FALSE(red->HasColorKey());
        // Any player but the first sees the blue face.
        EXPECT_EQ(Cards.GetCardPicture(i, 2), blue);
        EXPECT_EQ(Cards.GetCardPicture(i, -1), blue);
    }
}

TEST_F(CardsInfoFiles, MissingBluePictureStopsAtItsCard) {
    Dir.Remove("Data/Blue/57.bmp");
    EXPECT_FALSE(Cards.LoadCards(Graphics, Tasks.Sink(), Messages.Sink()));
    EXPECT_EQ(Messages.Lines, std::vector<std::string>{"Could not load file Data/Blue/57.bmp"});
    EXPECT_EQ(Cards.NumCards, 0);
    // The progress window still names the card whose picture is missing.
    ASSERT_EQ(Tasks.Lines.size(), 57u);
    EXPECT_EQ(Tasks.Lines.back(), "Loading cards (57 of 110)...");

    const std::vector<TRecord> records = StandardRecords();
    ASSERT_TRUE(Cards.CardTable);
    for (int32_t i = 0; i < 56; ++i) {
        SCOPED_TRACE(i);
        ExpectCard(Cards.CardTable[i], records[i]);
        ASSERT_TRUE(Cards.CardTable[i].RedPicture);
        ASSERT_TRUE(Cards.CardTable[i].BluePicture);
        EXPECT_EQ(Cards.CardTable[i].BluePicture->Pixel(0, 0), qRgb(0, i + 1, 200));
    }
    EXPECT_FALSE(Cards.CardTable[56].BluePicture);
    EXPECT_TRUE(Cards.CardTable[56].Name.empty());
    for (int32_t i = 57; i < 110; ++i) {
        EXPECT_FALSE(Cards.CardTable[i].RedPicture) << i;
        EXPECT_TRUE(Cards.CardTable[i].Name.empty()) << i;
    }

    // Once the picture is back, loading again succeeds.
    Dir.WriteBitmap("Data/Blue/57.bmp", 100, 127, QColor(0, 57, 200));
    EXPECT_TRUE(Cards.LoadCards(Graphics, {}, Messages.Sink()));
    EXPECT_EQ(Cards.NumCards, 110);
    EXPECT_EQ(Cards.GetCardPicture(56, 1)->Pixel(0, 0), qRgb(0, 57, 200));
}

TEST_F(CardsInfo, ReportsEachCardBeforeLoadingItsPictures) {
    Dir.WriteText("Data/Cards.dat", CardFile(StandardRecords()));
    std::vector<std::string> log;
    TFakePictures pictures;
    pictures.Log = &log;
    ASSERT_TRUE(Cards.LoadCards(
        pictures.Loader(), [&log](const std::string& task) { log.push_back(task); }, Messages.Sink()));
    ASSERT_EQ(log.size(), 330u);
    for (int n = 1; n <= 110; ++n) {
        SCOPED_TRACE(n);
        const size_t at = size_t(n - 1) * 3;
        EXPECT_EQ(log[at], "Loading cards (" + std::to_string(n) + " of 110)...");
        EXPECT_EQ(log[at + 1], "Data/Red/" + std::to_string(n) + ".bmp");
        EXPECT_EQ(log[at + 2], "Data/Blue/" + std::to_string(n) + ".bmp");
    }
}

TEST_F(CardsInfo, MissingCardFileIsTheOnlyMessageAndLoadsNoPicture) {
    TFakePictures pictures;
    EXPECT_FALSE(Load(pictures));
    EXPECT_EQ(Messages.Lines, std::vector<std::string>{"Could not load file Data/Cards.dat"});
    EXPECT_TRUE(pictures.Paths.empty());
    EXPECT_TRUE(Tasks.Lines.empty());
    EXPECT_EQ(Cards.NumCards, 0);

    // A missing first red picture stops before its blue one is asked for.
    Dir.WriteText("Data/Cards.dat", CardFile(StandardRecords()));
    Messages.Lines.clear();
    pictures.Missing.insert("Data/Red/1.bmp");
    EXPECT_FALSE(Load(pictures));
    EXPECT_EQ(Messages.Lines, std::vector<std::string>{"Could not load file Data/Red/1.bmp"});
    EXPECT_EQ(pictures.Paths, std::vector<std::string>{"Data/Red/1.bmp"});
    EXPECT_EQ(Cards.NumCards, 0);
}

TEST_F(CardsInfo, UnderscoresInNamesBecomeBlanks) {
    std::vector<TRecord> records = StandardRecords();
    records[0].word = "_Leading";
    records[1].word = "Fire_Drake_of_the_North";
    records[2].word = "Trailing_";
    records[3].word = "___";
    records[4].word = "Plain";
    records[5].word = "Double__Gap";
    records[6].word = "_";
    ASSERT_TRUE(LoadText(CardFile(records)));
    EXPECT_EQ(Cards.CardTable[0].Name, " Leading");
    EXPECT_EQ(Cards.CardTable[1].Name, "Fire Drake of the North");
    EXPECT_EQ(Cards.CardTable[2].Name, "Trailing ");
    EXPECT_EQ(Cards.CardTable[3].Name, "   ");
    EXPECT_EQ(Cards.CardTable[4].Name, "Plain");
    EXPECT_EQ(Cards.CardTable[5].Name, "Double  Gap");
    EXPECT_EQ(Cards.CardTable[6].Name, " ");
    for (int32_t i = 0; i < 110; ++i) {
        EXPECT_EQ(Cards.CardTable[i].Ranks, records[i].ranks) << i;
        EXPECT_EQ(Cards.CardTable[i].Element, records[i].element) << i;
    }
}

TEST_F(CardsInfo, LineBreaksCarryNoMeaning) {
    const std::vector<TRecord> records = StandardRecords();

    // Every token on its own line, with Windows line ends.
    std::string tokenPerLine;
    for (const TRecord& record : records) tokenPerLine += Tokens(record, "\r\n") + "\r\n";
    // All records on one line.
    std::string oneLine;
    for (const TRecord& record : records) oneLine += Tokens(record, " ") + " ";
    // Records split in the middle and run together, with tabs and blank lines,
    // three records to a line.
    std::string mixed = "\n\n";
    for (size_t i = 0; i < records.size(); ++i) {
        const TRecord& r = records[i];
        mixed += r.word + "\t" + std::to_string(r.ranks[0]) + "  " + std::to_string(r.ranks[1]) + "\n" +
                 std::to_string(r.ranks[2]) + " " + std::to_string(r.ranks[3]) + "\t\t" +
                 std::to_string(r.element);
        mixed += i % 3 == 2 ? "\n\n" : "   ";
    }
    // No line end at all after the last record.
    std::string noFinalBreak = CardFile(records);
    noFinalBreak.pop_back();

    for (const std::string& text : {tokenPerLine, oneLine, mixed, noFinalBreak}) {
        SCOPED_TRACE(text.substr(0, 40));
        TCardsInfo cards;
        TRecorder messages;
        Dir.WriteText("Data/Cards.dat", text);
        TFakePictures pictures;
        ASSERT_TRUE(cards.LoadCards(pictures.Loader(), {}, messages.Sink()));
        EXPECT_TRUE(messages.Lines.empty());
        EXPECT_EQ(cards.NumCards, 110);
        for (int32_t i = 0; i < 110; ++i) ExpectCard(cards.CardTable[i], records[i]);
    }
}

TEST_F(CardsInfo, SecondLoadReleasesTheFirstBeforeLoadingAgain) {
    Dir.WriteText("Data/Cards.dat", CardFile(StandardRecords()));
    TFakePictures first;
    ASSERT_TRUE(Load(first));
    EXPECT_EQ(first.Paths.size(), 220u);
    EXPECT_FALSE(first.AllReleased());

    // By the time the second load asks for its first picture, none of the
    // first load's surfaces is held any more.
    TFakePictures second;
    bool releasedBeforeLoading = false;
    const TPictureLoader secondLoader = second.Loader();
    ASSERT_TRUE(Cards.LoadCards(
        [&](const std::string& path, std::string& problem) {
            if (second.Paths.empty()) releasedBeforeLoading = first.AllReleased();
            return secondLoader(path, problem);
        },
        {}, Messages.Sink()));
    EXPECT_TRUE(releasedBeforeLoading);
    EXPECT_TRUE(first.AllReleased());
    EXPECT_EQ(second.Paths.size(), 220u);
    EXPECT_EQ(Cards.NumCards, 110);

    // A load that fails after a good one leaves no usable cards behind, and
    // its own partial pictures go with the catalogue.
    TFakePictures third;
    third.Missing.insert("Data/Blue/3.bmp");
    EXPECT_FALSE(Load(third));
    EXPECT_TRUE(second.AllReleased());
    EXPECT_EQ(Cards.NumCards, 0);
    EXPECT_FALSE(third.AllReleased());

    // Destroying the catalogue releases its pictures.
    TFakePictures fourth;
    {
        TCardsInfo scoped;
        ASSERT_TRUE(scoped.LoadCards(fourth.Loader(), {}, Messages.Sink()));
        EXPECT_FALSE(fourth.AllReleased());
    }
    EXPECT_TRUE(fourth.AllReleased());
}

TEST_F(CardsInfo, BadRecordsAreReportedWithTheirNumber) {
    const std::vector<TRecord> good = StandardRecords();
    struct TCase {
        const char* what;
        std::string text;
        int record;
    };
    std::vector<TCase> cases;

    std::vector<TRecord> shorter(good.begin(), good.end() - 1);
    cases.push_back({"109 records", CardFile(shorter), 110});
    cases.push_back({"empty file", "", 1});
    cases.push_back({"record cut short", CardFile(shorter) + "Last 1 2 3\n", 110});

    {
        std::vector<TRecord> r = good;
        std::string text = CardFile(r);
        const std::string line = Tokens(r[2], " ");
        text.replace(text.find(line), line.size(), "Card_3 4 x 9 3 3");
        cases.push_back({"a word where a rank belongs", text, 3});
    }
    {
        std::vector<TRecord> r = good;
        std::string text = CardFile(r);
        const std::string line = Tokens(r[9], " ");
        text.replace(text.find(line), line.size(), "Card_10 4 5 9 3 7th");
        cases.push_back({"trailing letters on a number", text, 10});
    }
    {
        // A name missing: every token shifts, and the next name lands where
        // the element belongs.
        std::vector<TRecord> r = good;
        std::string text = CardFile(r);
        const std::string line = Tokens(r[19], " ");
        text.replace(text.find(line), line.size(), "1 2 3 4 5");
        cases.push_back({"a record without its name", text, 20});
    }
    auto withRecord = [&good](size_t index, const std::string& replacement) {
        std::string text = CardFile(good);
        const std::string line = Tokens(good[index], " ");
        text.replace(text.find(line), line.size(), replacement);
        return text;
    };
    cases.push_back({"rank beyond 32 bits", withRecord(3, "Card_4 2147483648 1 1 1 0"), 4});
    cases.push_back({"rank below 32 bits", withRecord(4, "Card_5 1 1 -2147483649 1 0"), 5});
    cases.push_back({"huge element", withRecord(5, "Card_6 1 1 1 1 99999999999999999999"), 6});
    cases.push_back({"element 9", withRecord(6, "Card_7 1 1 1 1 9"), 7});
    cases.push_back({"element -1", withRecord(7, "Card_8 1 1 1 1 -1"), 8});
    cases.push_back({"name of 300 characters", withRecord(8, std::string(300, 'N') + " 1 1 1 1 0"), 9});
    cases.push_back({"name of 256 characters", withRecord(109, std::string(256, 'N') + " 1 1 1 1 0"), 110});

    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TCardsInfo cards;
        TRecorder messages;
        Dir.WriteText("Data/Cards.dat", c.text);
        TFakePictures pictures;
        EXPECT_FALSE(cards.LoadCards(pictures.Loader(), {}, messages.Sink()));
        EXPECT_EQ(cards.NumCards, 0);
        ASSERT_EQ(messages.Lines.size(), 1u);
        const std::string prefix =
            "Could not load file Data/Cards.dat: record " + std::to_string(c.record) + " ";
        EXPECT_EQ(messages.Lines[0].substr(0, prefix.size()), prefix) << messages.Lines[0];
        // Loading stopped at the bad record.
        EXPECT_EQ(pictures.Paths.size(), size_t(2 * c.record));
    }
}

TEST_F(CardsInfo, AcceptsEveryWholeNumberAndIgnoresWhatFollowsTheLastRecord) {
    std::vector<TRecord> records = StandardRecords();
    records[0] = {"Extremes", {2147483647, -2147483647 - 1, 0, -7}, 0};
    records[1] = {std::string(255, 'L'), {10, 10, 10, 10}, 8};
    records[2] = {"Signed", {5, 1, 1, 1}, 1};
    std::string text = CardFile(records);
    // A leading plus sign reads as for any formatted number.
    text.replace(text.find("Signed 5 "), 9, "Signed +5 ");
    text += "Spare_Card 1 2 3 4 5\nnot even a record\n";
    ASSERT_TRUE(LoadText(text));
    EXPECT_TRUE(Messages.Lines.empty());
    EXPECT_EQ(Cards.NumCards, 110);
    ExpectCard(Cards.CardTable[0], records[0]);
    ExpectCard(Cards.CardTable[1], records[1]);
    ExpectCard(Cards.CardTable[2], records[2]);
    ExpectCard(Cards.CardTable[109], records[109]);
}

TEST_F(CardsInfo, CardFilesThatCannotBeACatalogueAreRefusedWithTheReason) {
    const std::string catalogue = CardFile(StandardRecords());
    const std::string tooLarge =
        "Could not load file Data/Cards.dat: it is larger than 1 MiB, far more than a "
        "card catalogue holds";
    struct TCase {
        const char* what;
        std::function<void()> write;
        std::string message;
    };
    const TCase cases[] = {
        {"a folder", [&] { QDir(Dir.Path()).mkpath("Data/Cards.dat"); },
         "Could not load file Data/Cards.dat: it is a folder, not a file"},
        {"a catalogue followed by a megabyte of blanks",
         [&] { Dir.WriteText("Data/Cards.dat", catalogue + std::string(1024 * 1024, ' ')); }, tooLarge},
        {"a file that never ends",
         [&] { ASSERT_TRUE(QFile::link("/dev/zero", Dir.Path() + "/Data/Cards.dat")); }, tooLarge},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(Dir.Path() + "/Data").removeRecursively();
        QDir(Dir.Path()).mkpath("Data");
        c.write();
        TCardsInfo cards;
        TRecorder messages;
        TFakePictures pictures;
        EXPECT_FALSE(cards.LoadCards(pictures.Loader(), {}, messages.Sink()));
        EXPECT_EQ(messages.Lines, std::vector<std::string>{c.message});
        EXPECT_TRUE(pictures.Paths.empty());
        EXPECT_EQ(cards.NumCards, 0);
    }

    // Up to the limit, whatever follows the last record is still ignored.
    Dir.Remove("Data/Cards.dat");
    EXPECT_TRUE(LoadText(catalogue + std::string(1024 * 1024 - catalogue.size(), ' ')));
}

TEST_F(CardsInfo, FacesSmallerThanThePartDrawnAreRefused) {
    Dir.WriteText("Data/Cards.dat", CardFile(StandardRecords()));
    struct TCase {
        std::string path;
        int32_t width, height;
    };
    const TCase cases[] = {
        {"Data/Red/3.bmp", 99, 127}, {"Data/Blue/5.bmp", 100, 126}, {"Data/Red/1.bmp", 1, 1}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.path);
        TCardsInfo cards;
        TRecorder messages;
        std::vector<std::string> asked;
        EXPECT_FALSE(cards.LoadCards(
            [&](const std::string& path, std::string&) {
                asked.push_back(path);
                return path == c.path ? std::make_unique<TSurface>(c.width, c.height)
                                      : std::make_unique<TSurface>(101, 128);
            },
            {}, messages.Sink()));
        EXPECT_EQ(messages.Lines,
                  std::vector<std::string>{"Could not load file " + c.path + ": the picture is " +
                                           std::to_string(c.width) + " x " + std::to_string(c.height) +
                                           " pixels, smaller than the 100 x 127 of a card face"});
        EXPECT_EQ(asked.back(), c.path);
        EXPECT_EQ(cards.NumCards, 0);
    }
}

TEST_F(CardsInfoFiles, PictureFilesBeyondTheLimitsAreNamedWithWhatIsWrong) {
    Dir.WriteBitmap("Data/Red/2.bmp", 50, 60, QColor(200, 2, 0));
    EXPECT_FALSE(Cards.LoadCards(Graphics, {}, Messages.Sink()));
    EXPECT_EQ(Messages.Lines,
              std::vector<std::string>{"Could not load file Data/Red/2.bmp: the picture is 50 x 60 "
                                       "pixels, smaller than the 100 x 127 of a card face"});

    Messages.Lines.clear();
    Dir.WriteBitmap("Data/Red/2.bmp", 100, 127, QColor(200, 2, 0));
    Dir.WriteBytes("Data/Blue/7.bmp", RunLengthBitmap(5600, 5600));
    EXPECT_FALSE(Cards.LoadCards(Graphics, {}, Messages.Sink()));
    EXPECT_EQ(Messages.Lines,
              std::vector<std::string>{"Could not load file Data/Blue/7.bmp: the picture is 5600 x "
                                       "5600 pixels, larger than the 4096 x 4096 the game accepts"});
    EXPECT_EQ(Cards.NumCards, 0);
}
