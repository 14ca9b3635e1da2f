#include "protocol/RulesJson.h"

namespace RulesJson {

QJsonObject Write(const TGameRules& rules) {
    QJsonObject object;
    for (const TSwitch& entry : Switches) object.insert(QLatin1String(entry.Name), rules.*entry.Field);
    return object;
}

const TSwitch* Read(const QJsonObject& object, TGameRules& rules) {
    for (const TSwitch& entry : Switches) {
        const QJsonValue value = object.value(QLatin1String(entry.Name));
        if (!value.isBool()) return &entry;
        rules.*entry.Field = value.toBool();
    }
    return nullptr;
}

} // namespace RulesJson
