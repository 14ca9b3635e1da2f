// libFuzzer target for what a game server can send a client: every line of
// the input goes through the client's decoder, which must refuse or accept
// without fault and keep what it accepts within its bounds. A record the
// server answers with then goes through the record reader and its checks, as
// it does before it opens as a replay.
#include "net/ServerCodec.h"
#include "records/RecordCheck.h"
#include "records/RecordJson.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool holds) {
    if (!holds) abort();
}

bool PlainName(const QString& name, bool mayBeEmpty) {
    return (mayBeEmpty && name.isEmpty()) || ServerCodec::IsPlayerName(name);
}

bool InRating(int32_t rating) {
    return rating >= -ServerCodec::MaxRating && rating <= ServerCodec::MaxRating;
}

void CheckDecoded(const TServerMessage& message) {
    using TKind = TServerMessage::TKind;
    for (const TLobbyPlayer& player : message.Players)
        Check(PlainName(player.Name, false) && InRating(player.Rating) && player.Deviation >= 0 &&
              player.Deviation <= ServerCodec::MaxDeviation);
    Check(message.Leaders.size() <= ServerCodec::MaxLeaders);
    for (const TLeaderboardEntry& leader : message.Leaders)
        Check(PlainName(leader.Name, false) && InRating(leader.Rating) && leader.Matches >= 0);
    const TPlayerProfile& profile = message.Profile;
    Check(profile.History.size() <= ServerCodec::MaxHistory &&
          profile.Recent.size() <= ServerCodec::MaxRecent);
    for (const TProfileMatch& match : profile.Recent)
        Check(PlainName(match.Opponent, false) && match.Score[0] <= 10 && match.Score[1] <= 10 &&
              (!match.Change || InRating(*match.Change)));
    if (message.Ratings)
        for (const TRatingChange& change : *message.Ratings)
            Check(InRating(change.Before) && InRating(change.After));
    Check(message.AcceptedRules.size() <= ServerCodec::MaxPlayNowRules &&
          message.AcceptedSeconds.size() <= ServerCodec::MaxPlayNowSeconds);
    if (message.Kind == TKind::Challenge)
        Check(PlainName(message.Offer.From, false) && PlainName(message.Offer.To, false) &&
              message.Offer.Id > 0);
    if (message.Kind != TKind::Record) return;
    Check(message.Record.Json.size() <= ServerCodec::MaxLineBytes);
    const TRecordReading reading = ReadRecordJson(message.Record.Json, "the server");
    if (!reading.Record) {
        Check(reading.Problem.rfind("the server: ", 0) == 0);
        return;
    }
    Check(RecordProblem(*reading.Record).empty());
    const TRecordReading again = ReadRecordJson(WriteRecordJson(*reading.Record), "again");
    Check(again.Record && *again.Record == *reading.Record);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t at = 0;
    while (at < size) {
        const void* end = std::memchr(data + at, '\n', size - at);
        const size_t length = end ? size_t(static_cast<const uint8_t*>(end) - (data + at)) : size - at;
        const QByteArray line(reinterpret_cast<const char*>(data + at), qsizetype(length));
        at += length + 1;
        const ServerCodec::TDecoded decoded = ServerCodec::Decode(line);
        if (!decoded.Ok) {
            Check(!decoded.Error.isEmpty());
            continue;
        }
        CheckDecoded(decoded.Message);
    }
    return 0;
}
