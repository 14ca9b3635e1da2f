#include "protocol/PlayerName.h"

bool IsPlayerName(const QString& name) {
    if (name.size() < 3 || name.size() > 16) return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                        u == '-' || u == '_';
        if (!ok) return false;
    }
    return true;
}
