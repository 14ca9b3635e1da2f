// The data tree the build generates: every file the game loads, at the sizes
// the layout relies on, keyed where transparency is meant and nowhere else.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <set>

namespace {

const QString Data = QStringLiteral(VANTARO_DATA_DIR);

QImage Load(const QString& relative) {
    QImage image(Data + "/" + relative, "BMP");
    return image.convertToFormat(QImage::Format_RGB32);
}

int MagentaPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += (image.pixel(x, y) & 0xffffff) == 0xff00ff;
    return n;
}

int BitsPerPixel(const QString& relative) {
    QFile file(Data + "/" + relative);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QByteArray header = file.read(30);
    return header.size() < 30 ? -1 : uchar(header[28]) | uchar(header[29]) << 8;
}

TEST(GeneratedData, OpaquePicturesHaveTheirSizesAndNoKeyColour) {
    const struct {
        const char* file;
        int width, height;
    } opaque[] = {{"Board.bmp", 512, 384}, {"CardBack.bmp", 100, 127}};
    for (const auto& o : opaque) {
        const QImage image = Load(o.file);
        ASSERT_FALSE(image.isNull()) << o.file;
        EXPECT_EQ(image.size(), QSize(o.width, o.height)) << o.file;
        EXPECT_EQ(MagentaPixels(image), 0) << o.file;
        EXPECT_EQ(BitsPerPixel(o.file), 24) << o.file;
    }
    const QImage box = Load("CardNameInfoBox.bmp");
    ASSERT_FALSE(box.isNull());
    EXPECT_LE(box.width(), 512);
    EXPECT_EQ(MagentaPixels(box), 0);
}

TEST(GeneratedData, KeyedPicturesAreTransparentOnExactMagenta) {
    QStringList keyed = {"HandLeft.bmp",  "HandRight.bmp", "SameText.bmp", "PlusText.bmp",
                         "ComboText.bmp", "Numbers/+.bmp", "Numbers/-.bmp"};
    for (int e = 1; e <= 8; ++e) keyed << QString("Elements/%1.bmp").arg(e);
    for (int n = 1; n <= 9; ++n) keyed << QString("Numbers/%1.bmp").arg(n);
    for (const QString& file : keyed) {
        const QImage image = Load(file);
        ASSERT_FALSE(image.isNull()) << file.toStdString();
        const int magenta = MagentaPixels(image);
        EXPECT_GT(magenta, 0) << file.toStdString();
        EXPECT_LT(magenta, image.width() * image.height()) << file.toStdString() << " shows nothing";
        EXPECT_EQ(BitsPerPixel(file), 24) << file.toStdString();
    }
    // The pointers fit beside a card and the digits under the hands.
    EXPECT_LE(Load("HandLeft.bmp").width(), 42);
    EXPECT_LE(Load("Numbers/5.bmp").width(), 85);
    // The banners fit the drawing area they are centred on.
    EXPECT_LE(Load("ComboText.bmp").width(), 512);
}

TEST(GeneratedData, EveryCardHasTwoDistinctFacesAndNoTwoCardsLookAlike) {
    std::set<QByteArray> faces;
    for (int n = 1; n <= 110; ++n) {
        const QImage red = Load(QString("Red/%1.bmp").arg(n));
        const QImage blue = Load(QString("Blue/%1.bmp").arg(n));
        ASSERT_FALSE(red.isNull()) << n;
        ASSERT_FALSE(blue.isNull()) << n;
        EXPECT_EQ(red.size(), QSize(100, 127)) << n;
        EXPECT_EQ(blue.size(), QSize(100, 127)) << n;
        EXPECT_NE(red, blue) << n;
        EXPECT_EQ(MagentaPixels(red), 0) << n;
        faces.insert(QCryptographicHash::hash(
            QByteArray(reinterpret_cast<const char*>(red.constBits()), red.sizeInBytes()),
            QCryptographicHash::Sha1));
    }
    EXPECT_EQ(faces.size(), 110u);
}

TEST(GeneratedData, CatalogueHasOneRecordPerCardWithRanksOneToTen) {
    QFile file(Data + "/Cards.dat");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList tokens =
        QString::fromLatin1(file.readAll()).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    ASSERT_EQ(tokens.size(), 110 * 6);
    int withElement = 0;
    for (int card = 0; card < 110; ++card) {
        for (int side = 1; side <= 4; ++side) {
            const int rank = tokens[card * 6 + side].toInt();
            EXPECT_GE(rank, 1) << card + 1;
            EXPECT_LE(rank, 10) << card + 1;
        }
        const int element = tokens[card * 6 + 5].toInt();
        EXPECT_GE(element, 0);
        EXPECT_LE(element, 8);
        withElement += element != 0;
    }
    EXPECT_GT(withElement, 20);
}

} // namespace
