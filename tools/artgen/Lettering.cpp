#include "Lettering.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>
#include <QPainter>
#include <QPen>
#include <stdexcept>

namespace artgen {

namespace {

struct FaceFile {
    Face face;
    const char *file;
};

constexpr FaceFile kFaceFiles[] = {
    {Face::Sans, "DejaVuSans.ttf"},
    {Face::SansBold, "DejaVuSans-Bold.ttf"},
    {Face::SansCondensedBold, "DejaVuSansCondensed-Bold.ttf"},
    {Face::SerifBold, "DejaVuSerif-Bold.ttf"},
    {Face::SerifBoldItalic, "DejaVuSerif-BoldItalic.ttf"},
};

struct LoadedFace {
    QString family;
    QString style;
};

QHash<int, LoadedFace> &loadedFaces()
{
    static QHash<int, LoadedFace> faces;
    return faces;
}

} // namespace

void loadFonts(const QString &folder)
{
    for (const FaceFile &entry : kFaceFiles) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(entry.file);
        if (!QFileInfo::exists(path))
            throw std::runtime_error(
                QStringLiteral("font %1 is missing (install the fonts-dejavu-core package)").arg(path).toStdString());
        const int id = QFontDatabase::addApplicationFont(path);
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (id < 0 || families.isEmpty())
            throw std::runtime_error(QStringLiteral("font %1 could not be loaded").arg(path).toStdString());
        // Several files share the family "DejaVu Sans"; the style name tells
        // them apart when the font is requested.
        const QStringList styles = QFontDatabase::styles(families.first());
        LoadedFace loaded{families.first(), QString()};
        const QString file = QLatin1String(entry.file);
        for (const QString &style : styles) {
            const bool wantBold = file.contains(QLatin1String("Bold"));
            const bool wantItalic = file.contains(QLatin1String("Italic"));
            const bool isBold = style.contains(QLatin1String("Bold"));
            const bool isItalic = style.contains(QLatin1String("Italic")) || style.contains(QLatin1String("Oblique"));
            if (wantBold == isBold && wantItalic == isItalic)
                loaded.style = style;
        }
        loadedFaces().insert(static_cast<int>(entry.face), loaded);
    }
}

QFont fontFor(Face face, qreal pixelSize)
{
    const auto found = loadedFaces().constFind(static_cast<int>(face));
    if (found == loadedFaces().constEnd())
        throw std::runtime_error("fonts are used before they were loaded");
    QFont font(found->family);
    if (!found->style.isEmpty())
        font.setStyleName(found->style);
    font.setPixelSize(qRound(pixelSize));
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoFontMerging | QFont::PreferOutline));
    font.setKerning(true);
    return font;
}

QPainterPath textPath(const QString &text, const QFont &font, QPointF centre)
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF ink = path.boundingRect();
    path.translate(centre - ink.center());
    return path;
}

void paintOutlined(QPainter &painter, const QPainterPath &path, const QBrush &fill, const QColor &outline,
                   qreal outlineWidth)
{
    painter.save();
    QPen pen(outline, outlineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(outline);
    painter.drawPath(path);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(path);
    painter.restore();
}

} // namespace artgen
