#include "net/LobbyModel.h"

#include "net/RulesText.h"
#include "protocol/Protocol.h"

#include <QStringList>

namespace {

QString Key(const QString& name) {
    return name.toLower();
}

} // namespace

bool TLobbyModel::Apply(const TServerMessage& message) {
    using TKind = TServerMessage::TKind;
    switch (message.Kind) {
    case TKind::SignedIn:
        SignedInAs = message.Name;
        return false;
    case TKind::Lobby:
        Clear();
        for (const TLobbyPlayer& player : message.Players) PlayerByKey[Key(player.Name)] = player;
        for (const TLobbyTable& table : message.Tables) TableById[table.Id] = table;
        return true;
    case TKind::Player:
        // Each decoded message is bounded; the lists are bounded the same way
        // so that a stream of made-up names cannot grow them without end.
        if (PlayerByKey.size() >= Protocol::MaxListEntries && !PlayerByKey.count(Key(message.Player.Name)))
            return false;
        PlayerByKey[Key(message.Player.Name)] = message.Player;
        return true;
    case TKind::PlayerGone:
        return PlayerByKey.erase(Key(message.Name)) > 0;
    case TKind::Table:
        if (TableById.size() >= Protocol::MaxListEntries && !TableById.count(message.TableInfo.Id))
            return false;
        TableById[message.TableInfo.Id] = message.TableInfo;
        return true;
    case TKind::TableGone:
        return TableById.erase(message.Table) > 0;
    case TKind::Waiting:
        if (message.AcceptedRules.empty())
            Wait.reset();
        else
            Wait = TWaiting{message.AcceptedRules, message.AcceptedSeconds};
        return false;
    case TKind::Match: {
        // At a match the lobby's changes stop coming until the player is back
        // in it: the table and the player's own place in it are noted here.
        const TServerMatchState& match = message.Match;
        if (match.You >= 0) Wait.reset();
        if (TableById.size() < Protocol::MaxListEntries || TableById.count(match.Table)) {
            TLobbyTable& table = TableById[match.Table];
            table.Id = match.Table;
            table.Rules = match.Rules;
            table.Seconds = match.Seconds;
            table.Seats = match.Seats;
            table.Playing = true;
            table.Rated = match.Rated;
        }
        if (auto own = PlayerByKey.find(Key(SignedInAs)); own != PlayerByKey.end()) {
            own->second.Table = match.Table;
            own->second.Seat = match.You;
        }
        return true;
    }
    case TKind::Challenge:
        if (Key(message.Offer.From) == Key(SignedInAs)) {
            Sent = message.Offer;
        } else if (Received.size() < MaxChallengesKept) {
            std::erase_if(Received,
                          [&](const TChallengeOffer& offer) { return offer.Id == message.Offer.Id; });
            Received.push_back(message.Offer);
        }
        return false;
    case TKind::ChallengeOver:
        if (Sent && Sent->Id == message.Offer.Id) Sent.reset();
        std::erase_if(Received, [&](const TChallengeOffer& offer) { return offer.Id == message.Offer.Id; });
        return false;
    default:
        return false;
    }
}

void TLobbyModel::Clear() {
    PlayerByKey.clear();
    TableById.clear();
    ForgetRequests();
}

void TLobbyModel::ForgetRequests() {
    Wait.reset();
    Sent.reset();
    Received.clear();
}

const TLobbyPlayer* TLobbyModel::Own() const {
    return SignedInAs.isEmpty() ? nullptr : Player(SignedInAs);
}

const TLobbyPlayer* TLobbyModel::Player(const QString& name) const {
    const auto found = PlayerByKey.find(Key(name));
    return found == PlayerByKey.end() ? nullptr : &found->second;
}

QString TLobbyModel::RuleSetText(const TGameRules& rules) {
    const QStringList names = RuleNames(rules);
    return names.isEmpty() ? QStringLiteral("Open") : names.join(QStringLiteral(" + "));
}

QString TLobbyModel::AcceptedText(const std::vector<TGameRules>& rules, const std::vector<int32_t>& seconds) {
    QStringList sets, times;
    for (const TGameRules& each : rules) sets << RuleSetText(each);
    bool unlimited = false;
    for (int32_t each : seconds) {
        if (each == 0)
            unlimited = true;
        else
            times << QStringLiteral("%1 s").arg(each);
    }
    QString time =
        times.isEmpty() ? QString() : times.join(QStringLiteral(" or ")) + QStringLiteral(" a move");
    if (unlimited)
        time += time.isEmpty() ? QStringLiteral("unlimited time") : QStringLiteral(" or unlimited time");
    return sets.join(QStringLiteral(", ")) + QStringLiteral("; ") + time;
}

QString TLobbyModel::OfferText(const TChallengeOffer& offer) {
    return AcceptedText({offer.Rules}, {offer.Seconds}) +
           (offer.Rated ? QStringLiteral("; rated") : QStringLiteral("; casual"));
}

const TLobbyTable* TLobbyModel::Table(int64_t id) const {
    const auto found = TableById.find(id);
    return found == TableById.end() ? nullptr : &found->second;
}

QString TLobbyModel::Doing(const TLobbyPlayer& player) {
    if (player.Table == 0) return QStringLiteral("in the lobby");
    if (player.Seat < 0) return QStringLiteral("watching table %1").arg(player.Table);
    return QStringLiteral("at table %1 (%2)").arg(player.Table).arg(player.Seat == 0 ? "Red" : "Blue");
}

QString TLobbyModel::SecondsText(int32_t seconds) {
    return seconds == 0 ? QStringLiteral("unlimited") : QStringLiteral("%1 s").arg(seconds);
}

QString TLobbyModel::RatingText(int32_t rating, int32_t deviation) {
    return QStringLiteral("%1 \u00B1 %2").arg(rating).arg(deviation);
}

QString TLobbyModel::ChangeText(int32_t change) {
    if (change == 0) return QStringLiteral("\u00B10");
    return change > 0 ? QStringLiteral("+%1").arg(change) : QStringLiteral("\u2212%1").arg(-int64_t(change));
}

QString TLobbyModel::RatingChangeText(const TRatingChange& change) {
    return QStringLiteral("%1 \u2192 %2 (%3)")
        .arg(change.Before)
        .arg(change.After)
        .arg(ChangeText(change.After - change.Before));
}

QString TLobbyModel::ResultText(const TProfileMatch& match) {
    const int32_t own = match.Score[size_t(match.Seat)], other = match.Score[size_t(1 - match.Seat)];
    const QString score = QStringLiteral("%1\u2013%2").arg(own).arg(other);
    const QString how =
        match.How == QLatin1String("finished") ? QString() : QStringLiteral(" (%1)").arg(match.How);
    if (match.Winner < 0)
        return match.How == QLatin1String("abandoned") ? QStringLiteral("Abandoned")
                                                       : QStringLiteral("Draw ") + score + how;
    return (match.Winner == match.Seat ? QStringLiteral("Won ") : QStringLiteral("Lost ")) + score + how;
}
