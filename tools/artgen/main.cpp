// vantaro_artgen: paints every picture the game loads and copies the card
// catalogue beside them. Runs at build time, headless, and writes the same
// bytes on every run.

#include "CardFaces.h"
#include "Catalogue.h"
#include "Elements.h"
#include "Illustration.h"
#include "ImageFiles.h"
#include "Lettering.h"
#include "Showcase.h"
#include "TableArt.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>
#include <exception>
#include <stdexcept>

using namespace artgen;

namespace {

void writeCatalogueCopy(const Catalogue& catalogue, const QString& path) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == catalogue.bytes) return;
    existing.close();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(catalogue.bytes) != catalogue.bytes.size())
        throw std::runtime_error(QStringLiteral("cannot write %1").arg(path).toStdString());
}

void requireNoKey(const QImage& image, const QString& what) {
    if (countKeyPixels(image) != 0)
        throw std::runtime_error(QStringLiteral("%1 contains the key colour").arg(what).toStdString());
}

void requireCleanKey(const QImage& image, const QString& what) {
    if (countKeyPixels(image) == 0)
        throw std::runtime_error(QStringLiteral("%1 has no transparent pixel").arg(what).toStdString());
    const int pink = countKeyLikePixels(image);
    if (pink != 0)
        throw std::runtime_error(QStringLiteral("%1 has %2 pixels that read as a magenta fringe")
                                     .arg(what)
                                     .arg(pink)
                                     .toStdString());
}

ArtSet paintEverything(const Catalogue& catalogue) {
    ArtSet art;
    for (const CardRecord& card : catalogue.cards) {
        const QImage layer = illustration(card);
        art.red.push_back(cardFace(card, Owner::Red, layer));
        art.blue.push_back(cardFace(card, Owner::Blue, layer));
    }
    art.board = boardImage();
    art.handLeft = pointingHand(false);
    art.handRight = pointingHand(true);
    art.cardBack = cardBack();
    art.sameText = banner(BannerKind::Same);
    art.plusText = banner(BannerKind::Plus);
    art.comboText = banner(BannerKind::Combo);
    art.nameBox = nameBox();
    for (int e = 1; e <= kElementCount; ++e) art.elements.push_back(elementIcon(e));
    for (int d = 1; d <= 9; ++d) art.digits.push_back(digit(d));
    art.plusSign = sign(true);
    art.minusSign = sign(false);
    art.lettering = lettering();
    art.resultPlate = resultPlate();
    art.splash = splashPicture(art);
    return art;
}

void writeEverything(const ArtSet& art, const Catalogue& catalogue, const QString& dataDir) {
    if (!QDir().mkpath(dataDir))
        throw std::runtime_error(QStringLiteral("cannot create %1").arg(dataDir).toStdString());
    const QString d = dataDir + QLatin1Char('/');
    writeCatalogueCopy(catalogue, d + QStringLiteral("Cards.dat"));
    for (std::size_t i = 0; i < art.red.size(); ++i) {
        const QString n = QString::number(i + 1);
        requireNoKey(art.red[i], QStringLiteral("red face %1").arg(n));
        requireNoKey(art.blue[i], QStringLiteral("blue face %1").arg(n));
        writeBmp(art.red[i], d + QStringLiteral("Red/%1.bmp").arg(n));
        writeBmp(art.blue[i], d + QStringLiteral("Blue/%1.bmp").arg(n));
    }
    struct Opaque {
        const QImage& image;
        const char* file;
    };
    for (const Opaque& o : {Opaque{art.board, "Board.bmp"}, Opaque{art.cardBack, "CardBack.bmp"},
                            Opaque{art.nameBox, "CardNameInfoBox.bmp"}}) {
        requireNoKey(o.image, QLatin1String(o.file));
        writeBmp(o.image, d + QLatin1String(o.file));
    }
    struct Keyed {
        const QImage& image;
        QString file;
    };
    std::vector<Keyed> keyed = {
        {art.handLeft, QStringLiteral("HandLeft.bmp")},      {art.handRight, QStringLiteral("HandRight.bmp")},
        {art.sameText, QStringLiteral("SameText.bmp")},      {art.plusText, QStringLiteral("PlusText.bmp")},
        {art.comboText, QStringLiteral("ComboText.bmp")},    {art.plusSign, QStringLiteral("Numbers/+.bmp")},
        {art.minusSign, QStringLiteral("Numbers/-.bmp")},    {art.lettering, QStringLiteral("Lettering.bmp")},
        {art.resultPlate, QStringLiteral("ResultPlate.bmp")}};
    for (int e = 1; e <= kElementCount; ++e)
        keyed.push_back(
            {art.elements[static_cast<std::size_t>(e - 1)], QStringLiteral("Elements/%1.bmp").arg(e)});
    for (int n = 1; n <= 9; ++n)
        keyed.push_back(
            {art.digits[static_cast<std::size_t>(n - 1)], QStringLiteral("Numbers/%1.bmp").arg(n)});
    for (const Keyed& k : keyed) {
        requireCleanKey(k.image, k.file);
        writeBmp(k.image, d + k.file);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // Build machines have no display; the offscreen platform paints the same.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantaro_artgen"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Paints Vantaro's card faces and table images."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("data-dir"),
                                 QStringLiteral("Folder to fill (becomes the game's Data folder)."));
    const QCommandLineOption cardsOption(QStringLiteral("cards"), QStringLiteral("Catalogue to read."),
                                         QStringLiteral("file"), QStringLiteral(VANTARO_CARDS_SOURCE));
    const QCommandLineOption splashOption(QStringLiteral("splash"),
                                          QStringLiteral("Where to write the splash picture."),
                                          QStringLiteral("file"));
    const QCommandLineOption sheetOption(QStringLiteral("sheet"),
                                         QStringLiteral("Where to write the contact sheet (PNG)."),
                                         QStringLiteral("file"));
    const QCommandLineOption fontsOption(
        QStringLiteral("fonts"), QStringLiteral("Folder holding the DejaVu fonts."), QStringLiteral("dir"),
        QStringLiteral("/usr/share/fonts/truetype/dejavu"));
    const QCommandLineOption iconOption(QStringLiteral("icon"),
                                        QStringLiteral("Where to write the program's icon (PNG)."),
                                        QStringLiteral("file"));
    parser.addOptions({cardsOption, splashOption, sheetOption, fontsOption, iconOption});
    parser.process(app);

    QTextStream err(stderr);
    if (parser.positionalArguments().size() != 1) {
        err << "usage: vantaro_artgen [--cards FILE] [--splash FILE] [--sheet FILE] [--icon FILE] DATA_DIR\n";
        return 2;
    }
    try {
        loadFonts(parser.value(fontsOption));
        const Catalogue catalogue = loadCatalogue(parser.value(cardsOption));
        const ArtSet art = paintEverything(catalogue);
        const QString dataDir = QDir(parser.positionalArguments().first()).absolutePath();
        writeEverything(art, catalogue, dataDir);
        if (parser.isSet(splashOption)) writeBmp(art.splash, parser.value(splashOption));
        if (parser.isSet(iconOption)) writePng(appIcon(art), parser.value(iconOption));
        if (parser.isSet(sheetOption)) writePng(contactSheet(art, catalogue), parser.value(sheetOption));
    } catch (const std::exception& e) {
        err << "vantaro_artgen: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
