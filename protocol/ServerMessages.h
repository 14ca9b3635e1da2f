#pragma once

#include "protocol/ServerMessage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

// What a game server tells a client: one compact JSON object per line. The
// server encodes with Encode; the client decodes with Decode, which checks
// everything as if anyone had written it: a line of an unknown kind, with a
// field missing, of the wrong type or out of range, is refused whole; names
// must be player names; other text is made plain and cut to its limit.
namespace ServerMessages {

// The kind as a line names it ("moved").
const char* KindName(TServerMessage::TKind kind);

// The line a server opens a connection with.
QByteArray Hello();
// The first line a client hears, read as a hello: the program and the
// version it names (-1 when not a number), or not a hello at all.
struct THello {
    bool IsHello = false;
    QString Program;
    int32_t Version = -1;
};
THello ReadHello(QByteArrayView line);

// The whole line, ending in '\n'.
QByteArray Encode(const TServerMessage& message);

// The lobby's entries as the server keeps them between changes: an object
// without its type, which a snapshot lists and an update line types.
QJsonObject PlayerObject(const TLobbyPlayer& player);
QJsonObject TableObject(const TLobbyTable& table);
// Those objects read back, checked as in a line; nothing when malformed.
std::optional<TLobbyPlayer> ReadPlayerObject(const QJsonObject& object);
std::optional<TLobbyTable> ReadTableObject(const QJsonObject& object);
// An object as compact JSON text, as the lists and lines above hold it.
std::string ObjectText(const QJsonObject& object);
// {"type":"…", …the fields of object…}\n, object being an encoded object.
std::string TypedLine(std::string_view type, std::string_view object);
// The lobby snapshot from its encoded lists ("[…]" of the objects above).
std::string LobbyLine(size_t online, size_t openTables, std::string_view players, std::string_view tables);

struct TDecoded {
    bool Ok = false;
    TServerMessage Message;
    QString Error;
};
TDecoded Decode(const QByteArray& line);

} // namespace ServerMessages
