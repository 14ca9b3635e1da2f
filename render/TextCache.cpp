#include "render/TextCache.h"

#include <QFontMetrics>
#include <QPainter>

const TTextCache::TEntry& TTextCache::Get(const QFont& font, const std::string& text, uint32_t color) {
    std::string key = std::to_string(color);
    key += '\n';
    key += text;
    if (auto found = Entries.find(key); found != Entries.end()) return found->second;
    if (Entries.size() >= MaxEntries) Entries.clear();

    // Strings are bytes, one character each, as the card file holds them.
    const QString line = QString::fromLatin1(text.data(), qsizetype(text.size()));
    const QFontMetrics metrics(font);
    TEntry entry;
    entry.advance = metrics.horizontalAdvance(line);
    entry.ascent = metrics.ascent();
    entry.height = metrics.height();
    // Glyphs may overhang their advance box a little on either side.
    const QRect ink = metrics.boundingRect(line);
    const int32_t margin = std::max({2, -ink.left(), ink.right() - entry.advance + 1});
    entry.originX = margin;
    entry.image = QImage(std::max(1, entry.advance + 2 * margin), std::max(1, entry.height),
                         QImage::Format_ARGB32_Premultiplied);
    entry.image.fill(Qt::transparent);
    if (!line.isEmpty()) {
        QPainter painter(&entry.image);
        painter.setFont(font);
        painter.setPen(QColor(color & 0xff, (color >> 8) & 0xff, (color >> 16) & 0xff)); // 0x00BBGGRR
        painter.drawText(QPoint(margin, entry.ascent), line);
    }
    entry.covered.Build(reinterpret_cast<const uint32_t*>(entry.image.constBits()),
                        entry.image.bytesPerLine() / 4, entry.image.width(), entry.image.height(),
                        [](uint32_t p) { return (p >> 24) != 0; });
    return Entries.emplace(std::move(key), std::move(entry)).first->second;
}
