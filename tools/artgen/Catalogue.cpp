#include "Catalogue.h"

#include <QFile>
#include <QSet>
#include <QStringList>
#include <stdexcept>

namespace artgen {

QString CardRecord::displayName() const {
    QString name = word;
    name.replace(QLatin1Char('_'), QLatin1Char(' '));
    return name;
}

namespace {

[[noreturn]] void fail(int line, const QString& what) {
    throw std::runtime_error(QStringLiteral("Cards.dat line %1: %2").arg(line).arg(what).toStdString());
}

int parseNumber(const QString& token, int line, int lo, int hi, const char* field) {
    bool ok = false;
    const int value = token.toInt(&ok);
    if (!ok || value < lo || value > hi)
        fail(line, QStringLiteral("%1 \"%2\" is not a number from %3 to %4")
                       .arg(QLatin1String(field), token)
                       .arg(lo)
                       .arg(hi));
    return value;
}

} // namespace

Catalogue parseCatalogue(const QByteArray& bytes) {
    Catalogue catalogue;
    catalogue.bytes = bytes;

    // The game reads a token stream, but one card per line is how we keep the
    // file reviewable, so anything else is treated as a slip.
    const QStringList lines = QString::fromLatin1(bytes).split(QLatin1Char('\n'));
    QSet<QString> seen;
    int lineNo = 0;
    for (const QString& raw : lines) {
        ++lineNo;
        const QString line = raw.trimmed();
        if (line.isEmpty()) continue;
        const QStringList tokens = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (tokens.size() != 6)
            fail(lineNo,
                 QStringLiteral("expected a name and five numbers, found %1 fields").arg(tokens.size()));

        CardRecord card;
        card.number = static_cast<int>(catalogue.cards.size()) + 1;
        card.word = tokens[0];
        if (card.word.size() > kMaxNameLength)
            fail(lineNo, QStringLiteral("name \"%1\" is longer than %2 characters")
                             .arg(card.word)
                             .arg(kMaxNameLength));
        for (QChar c : card.word) {
            if (!(c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('\'') ||
                  c == QLatin1Char('-')) ||
                c.unicode() > 126)
                fail(lineNo, QStringLiteral("name \"%1\" has the character '%2'").arg(card.word, QString(c)));
        }
        if (seen.contains(card.word))
            fail(lineNo, QStringLiteral("name \"%1\" is used twice").arg(card.word));
        seen.insert(card.word);

        static const char* const sides[4] = {"top rank", "right rank", "bottom rank", "left rank"};
        for (int s = 0; s < 4; ++s)
            card.ranks[static_cast<std::size_t>(s)] = parseNumber(tokens[1 + s], lineNo, 1, 10, sides[s]);
        card.element = parseNumber(tokens[5], lineNo, 0, 8, "element");
        catalogue.cards.push_back(card);
    }
    if (catalogue.cards.size() != static_cast<std::size_t>(kCatalogueSize))
        throw std::runtime_error(QStringLiteral("Cards.dat holds %1 cards, the game needs exactly %2")
                                     .arg(catalogue.cards.size())
                                     .arg(kCatalogueSize)
                                     .toStdString());
    return catalogue;
}

Catalogue loadCatalogue(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("cannot read the catalogue %1").arg(path).toStdString());
    return parseCatalogue(file.readAll());
}

} // namespace artgen
