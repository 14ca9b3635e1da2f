#include "Lettering.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMap>
#include <QPainter>
#include <QPen>
#include <QRawFont>
#include <stdexcept>

namespace artgen {

namespace {

struct FaceFile {
    Face face;
    const char* file;
    const char* fallbackFamily;
};

constexpr FaceFile kFaceFiles[] = {
    {Face::Sans, "DejaVuSans.ttf", "DejaVu Sans"},
    {Face::SansBold, "DejaVuSans-Bold.ttf", "DejaVu Sans"},
    {Face::SerifBold, "DejaVuSerif-Bold.ttf", "DejaVu Serif"},
};

struct LoadedFace {
    QByteArray data;
    QString family;
};

QMap<int, LoadedFace>& loadedFaces() {
    static QMap<int, LoadedFace> faces;
    return faces;
}

const LoadedFace& loaded(Face face) {
    const auto found = loadedFaces().constFind(static_cast<int>(face));
    if (found == loadedFaces().constEnd()) throw std::runtime_error("fonts are used before they were loaded");
    return *found;
}

const QRawFont& rawFont(Face face, qreal pixelSize) {
    static QMap<QPair<int, int>, QRawFont> cache;
    const QPair<int, int> key(static_cast<int>(face), qRound(pixelSize * 64));
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, QRawFont(loaded(face).data, pixelSize, QFont::PreferNoHinting));
    return *it;
}

} // namespace

void loadFonts(const QString& folder) {
    for (const FaceFile& entry : kFaceFiles) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(entry.file);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(
                QStringLiteral("font %1 is missing (install the fonts-dejavu-core package)")
                    .arg(path)
                    .toStdString());
        LoadedFace face{file.readAll(), QString()};
        if (!QRawFont(face.data, 12).isValid())
            throw std::runtime_error(
                QStringLiteral("font %1 could not be opened by the font engine of platform %2")
                    .arg(path, QGuiApplication::platformName())
                    .toStdString());
        // Registration only serves the contact sheet's captions; the pictures
        // take their outlines from the file itself. Some platform plugins
        // (minimal) cannot register fonts, and the captions then fall back.
        const int id = QFontDatabase::addApplicationFontFromData(face.data);
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        face.family = families.isEmpty() ? QLatin1String(entry.fallbackFamily) : families.first();
        loadedFaces().insert(static_cast<int>(entry.face), face);
    }
}

QPainterPath textPath(const QString& text, Face face, qreal pixelSize, QPointF centre) {
    const QRawFont& font = rawFont(face, pixelSize);
    const QList<quint32> glyphs = font.glyphIndexesForString(text);
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
    QPainterPath path;
    QPointF pen(0, 0);
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        path.addPath(font.pathForGlyph(glyphs[i]).translated(pen));
        pen += advances[i];
    }
    const QRectF ink = path.boundingRect();
    path.translate(centre - ink.center());
    return path;
}

QPainterPath glyphPath(const QString& character, Face face, qreal pixelSize, QPointF origin) {
    const QRawFont& font = rawFont(face, pixelSize);
    QPainterPath path;
    for (const quint32 glyph : font.glyphIndexesForString(character))
        path.addPath(font.pathForGlyph(glyph).translated(origin));
    return path;
}

QFont captionFont(Face face, int pixelSize) {
    QFont font(loaded(face).family);
    font.setBold(face != Face::Sans);
    font.setPixelSize(pixelSize);
    return font;
}

void paintOutlined(QPainter& painter, const QPainterPath& path, const QBrush& fill, const QColor& outline,
                   qreal outlineWidth) {
    painter.save();
    painter.setPen(QPen(outline, outlineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(outline);
    painter.drawPath(path);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(path);
    painter.restore();
}

} // namespace artgen
