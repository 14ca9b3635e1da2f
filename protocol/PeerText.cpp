#include "protocol/PeerText.h"

namespace PeerText {

qsizetype Characters(QStringView text) {
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
        ++count;
    }
    return count;
}

QString Readable(QStringView text, qsizetype maxCharacters) {
    QString out;
    out.reserve(text.size());
    qsizetype characters = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (maxCharacters >= 0 && characters == maxCharacters) {
            out.append(u'\u2026');
            break;
        }
        ++characters;
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t code = QChar::surrogateToUcs4(c, text[i + 1]);
            const QChar::Category category = QChar::category(code);
            // Tag characters and other invisible formats beyond the first plane.
            if (category == QChar::Other_Format || category == QChar::Other_PrivateUse)
                out.append(u' ');
            else
                out.append(c).append(text[i + 1]);
            ++i;
            continue;
        }
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue; // one break, one mark
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\r' || u == 0x0b || u == 0x0c || u == 0x85 || u == 0x2028 || u == 0x2029) {
            out.append(LineBreakMark);
            continue;
        }
        if (u == 0x200c || u == 0x200d) { // joiners shape text; they move nothing
            out.append(c);
            continue;
        }
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:    // embeddings, overrides, isolates, marks
        case QChar::Other_Surrogate: // a half pair
        case QChar::Other_PrivateUse:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            out.append(u' ');
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

bool IsPlain(QStringView text, qsizetype maxCharacters) {
    qsizetype characters = 0;
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        char32_t c = it->unicode();
        if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
            const QChar high = *it;
            ++it;
            c = QChar::surrogateToUcs4(high, *it);
        } else if (it->isSurrogate())
            return false;
        const bool control = c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0x2028 || c == 0x2029 ||
                             (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0x200e ||
                             c == 0x200f || c == 0x061c || c == 0xfeff;
        if (control || ++characters > maxCharacters) return false;
    }
    return characters > 0;
}

} // namespace PeerText
