#include "net/LobbyText.h"

namespace LobbyText {

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
            if (category == QChar::Other_Format || category == QChar::Other_PrivateUse)
                out.append(u' ');
            else
                out.append(c).append(text[i + 1]);
            ++i;
            continue;
        }
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\r' || u == 0x0b || u == 0x0c || u == 0x85 || u == 0x2028 || u == 0x2029) {
            out.append(u'\u21b5');
            continue;
        }
        if (u == 0x200c || u == 0x200d) {
            out.append(c);
            continue;
        }
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
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

} // namespace LobbyText
