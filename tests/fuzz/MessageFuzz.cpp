// libFuzzer target for what a peer can send: the bytes go through the line
// framer in chunks the input itself chooses, every line through the decoder,
// and every decoded message is encoded again and must decode to itself.
// Moves and deals are then judged against a table built from the input.
#include "net/LineFramer.h"
#include "net/MessageCodec.h"
#include "net/TableCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

TTableState TableFrom(const uint8_t* data, size_t size) {
    TTableState table;
    auto byte = [&](size_t i) { return size ? data[i % size] : uint8_t(0); };
    table.InProgress = byte(0) & 1;
    table.Idle = byte(1) & 1;
    table.Turn = byte(2) & 1;
    for (int square = 0; square < 9; ++square)
        table.Board[square / 3][square % 3] =
            byte(3 + square) & 1 ? TOwnedCard(byte(12 + square), byte(21 + square) & 1) : TOwnedCard();
    for (int slot = 0; slot < 5; ++slot)
        for (int player = 0; player < 2; ++player)
            table.Hands[slot][player] = byte(30 + slot * 2 + player) & 1 ? -1 : byte(40 + slot);
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TTableState table = TableFrom(data, size);
    TLineFramer framer(MessageCodec::MaxLineBytes);
    size_t at = 0;
    while (at < size && !framer.Overflowed()) {
        const size_t chunk = 1 + data[at] % 97;
        const size_t take = chunk < size - at ? chunk : size - at;
        framer.Feed(QByteArrayView(reinterpret_cast<const char*>(data + at), qsizetype(take)));
        at += take;
        QByteArray line;
        while (framer.TakeLine(line)) {
            if (line.size() > MessageCodec::MaxLineBytes) abort();
            const MessageCodec::TDecoded decoded = MessageCodec::Decode(line);
            if (!decoded.Ok) {
                if (decoded.Error.isEmpty()) abort();
                continue;
            }
            const QByteArray again = MessageCodec::Encode(decoded.Message);
            const MessageCodec::TDecoded twice = MessageCodec::Decode(QByteArrayView(again).chopped(1));
            if (!twice.Ok || !(twice.Message == decoded.Message)) abort();
            const TNetMessage& message = decoded.Message;
            if (message.Kind == TNetMessage::TKind::Move) {
                const QString problem =
                    TableCheck::MoveProblem(table, table.Turn, message.Slot, message.X, message.Y);
                // A move judged legal really is: the slot holds a card and the square is free.
                if (problem.isEmpty() && (table.Hands[message.Slot][table.Turn] == -1 ||
                                          table.Board[message.Y][message.X].Card != -1 || !table.InProgress))
                    abort();
            }
            if (message.Kind == TNetMessage::TKind::Deal && !TableCheck::DealProblem(message).isEmpty())
                abort();
        }
    }
    TableCheck::Digest(table);
    return 0;
}
