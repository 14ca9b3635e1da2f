#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What an operator may set for the server, with the values it runs on
// without a settings file. Plain data; SettingsFile reads it.
struct TServerSettings {
    // Connections.
    int32_t MaxConnections = 20000;
    int32_t ConnectionsPerAddress = 8;
    int32_t MessagesPerSecond = 60;
    int32_t BytesPerSecond = 64 * 1024;
    int32_t SilenceSeconds = 30;

    // What one address may do, over all its connections.
    int32_t NewNamesPerHour = 5;
    int32_t ChatLines = 10;
    int32_t ChatWindowSeconds = 10;
    int32_t Tables = 5;
    int32_t TableWindowSeconds = 60;
    int32_t QuestionsPerConnection = 10;
    int32_t QuestionsPerAddress = 30;
    int32_t QuestionWindowSeconds = 10;

    // Matches and ratings.
    int32_t AwaySeconds = 60;           // each player's allowance per match
    int32_t LeaderboardMinMatches = 10; // rated matches before a player is listed

    // The community.
    static constexpr size_t MaxMotdBytes = 500;
    static constexpr size_t MaxNamedModerators = 100;
    std::string Motd;                    // shown to each player as they sign in
    std::vector<std::string> Moderators; // besides those granted in the database
    int32_t ReportsPerDay = 3;           // reports one player may file in 24 hours

    friend bool operator==(const TServerSettings&, const TServerSettings&) = default;
};
