#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the server keeps for its community: the sanctions moderators impose,
// players' reports, who is a moderator, what each player blocks or follows,
// and a log of every moderation action. Every action is written with its log
// line in one transaction, and the log is what servers sharing the database
// watch to learn of another's actions.
class TCommunityStorage {
public:
    virtual ~TCommunityStorage() = default;

    enum class TSanctionKind {
        Mute,           // chat refused
        Ban,            // sign-in refused, by name
        CertificateBan, // sign-in refused, by certificate fingerprint
        AddressBan,     // sign-in refused, by an address range
    };
    struct TSanction {
        int64_t Id = 0;
        TSanctionKind Kind = TSanctionKind::Mute;
        std::string Target;   // a player's name, a fingerprint or an address range
        int64_t PlayerId = 0; // a player's, for Mute and Ban
        std::string Reason;
        std::string By;
        int64_t CreatedMs = 0;
        int64_t UntilMs = 0; // 0: for good
    };
    // The sanction's id, or 0 on failure.
    virtual int64_t AddSanction(const TSanction& sanction) = 0;
    // False when there is no such sanction still in force.
    virtual bool LiftSanction(int64_t id, const std::string& by, const std::string& reason,
                              int64_t nowMs) = 0;
    // Every sanction not lifted that has not run out at nowMs, oldest first.
    virtual std::optional<std::vector<TSanction>> Sanctions(int64_t nowMs) = 0;

    // Moderators granted through the database (the settings name others).
    virtual bool SetModerator(int64_t playerId, bool moderator, const std::string& by, int64_t nowMs) = 0;
    virtual std::optional<std::vector<std::string>> Moderators() = 0;

    struct TReport {
        int64_t Id = 0;
        int64_t ReporterId = 0;
        int64_t ReportedId = 0;
        std::string Reporter, Reported; // names, as read back
        std::string Reason;             // one of a short list
        std::string Text;               // the reporter's own line
        std::string Evidence;           // what the server saw: chat lines, one a line
        int64_t MatchId = 0;            // the match they shared, if any
        int64_t CreatedMs = 0;
    };
    virtual int64_t AddReport(const TReport& report) = 0;
    // Reports a player filed since a time (for their daily limit); -1 on failure.
    virtual int32_t ReportsSince(int64_t reporterId, int64_t sinceMs) = 0;
    virtual std::optional<std::vector<TReport>> OpenReports(int32_t count) = 0;
    virtual bool CloseReport(int64_t id, const std::string& by, const std::string& outcome,
                             int64_t nowMs) = 0;

    struct TAction {
        int64_t Id = 0;
        std::string By, Action, Target, Reason;
        int64_t AtMs = 0;
    };
    // The logged action that takes a player's lines out of the lobby's
    // backlog; its target is the player's name.
    static constexpr const char* RemoveChatAction = "remove chat";
    // Logs an action with no record of its own (a chat cleared, say); false on failure.
    virtual bool LogAction(const TAction& action) = 0;
    // The log after an id, oldest first, at most count.
    virtual std::optional<std::vector<TAction>> ActionsAfter(int64_t id, int32_t count) = 0;
    // The newest count, newest first.
    virtual std::optional<std::vector<TAction>> LatestActions(int32_t count) = 0;

    enum class TRelation { Block, Follow };
    virtual bool SetRelation(int64_t playerId, int64_t otherId, TRelation relation, bool on,
                             int64_t nowMs) = 0;
    // The players one player blocks or follows, by id and name.
    virtual std::optional<std::vector<std::pair<int64_t, std::string>>> Related(int64_t playerId,
                                                                                TRelation relation) = 0;

    virtual std::string LastError() const = 0;

    static const char* KindName(TSanctionKind kind);
    static std::optional<TSanctionKind> KindNamed(const std::string& name);
};
