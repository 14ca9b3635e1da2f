#include "server/SettingsFile.h"

#include "protocol/Protocol.h"
#include "server/StoredMatch.h"

#include <toml++/toml.h>

#include <fstream>
#include <map>

namespace {

constexpr size_t MaxFileBytes = 64 * 1024;

struct TNumber {
    int32_t TServerSettings::*Field;
    int32_t Low, High;
};

// Every number, by table and key, with the range that keeps the server sound.
const std::map<std::string, std::map<std::string, TNumber>>& Numbers() {
    static const std::map<std::string, std::map<std::string, TNumber>> numbers{
        {"connections",
         {{"max", {&TServerSettings::MaxConnections, 1, 1'000'000}},
          {"per_address", {&TServerSettings::ConnectionsPerAddress, 1, 10'000}},
          {"messages_per_second", {&TServerSettings::MessagesPerSecond, 5, 10'000}},
          {"bytes_per_second", {&TServerSettings::BytesPerSecond, 8 * 1024, 64 * 1024 * 1024}},
          {"silence_seconds", {&TServerSettings::SilenceSeconds, 20, 3600}}}},
        {"address",
         {{"new_names_per_hour", {&TServerSettings::NewNamesPerHour, 0, 10'000}},
          {"chat_lines", {&TServerSettings::ChatLines, 1, 10'000}},
          {"chat_window_seconds", {&TServerSettings::ChatWindowSeconds, 1, 3600}},
          {"tables", {&TServerSettings::Tables, 1, 10'000}},
          {"table_window_seconds", {&TServerSettings::TableWindowSeconds, 1, 3600}},
          {"questions_per_connection", {&TServerSettings::QuestionsPerConnection, 1, 10'000}},
          {"questions", {&TServerSettings::QuestionsPerAddress, 1, 10'000}},
          {"question_window_seconds", {&TServerSettings::QuestionWindowSeconds, 1, 3600}}}},
        {"matches", {{"away_seconds", {&TServerSettings::AwaySeconds, 0, Protocol::MaxAwaySeconds}}}},
        {"ratings", {{"leaderboard_min_matches", {&TServerSettings::LeaderboardMinMatches, 0, 10'000}}}},
        {"community", {{"reports_per_day", {&TServerSettings::ReportsPerDay, 0, 1000}}}},
    };
    return numbers;
}

class TReader {
public:
    explicit TReader(std::string path) : Path(std::move(path)) {}

    SettingsFile::TReading Read(const toml::table& root) {
        TServerSettings settings;
        for (auto&& [key, node] : root) {
            const std::string name(key.str());
            if (auto table = Numbers().find(name); table != Numbers().end()) {
                const toml::table* values = node.as_table();
                if (!values) return Fail(node, "[" + name + "] must be a table of settings");
                for (auto&& [field, value] : *values) {
                    if (name == "community" && field.str() != "reports_per_day") {
                        if (std::optional<std::string> problem =
                                Community(std::string(field.str()), value, settings))
                            return Fail(value, *problem);
                        continue;
                    }
                    const auto number = table->second.find(std::string(field.str()));
                    if (number == table->second.end())
                        return Fail(value,
                                    "unknown setting '" + std::string(field.str()) + "' in [" + name + "]");
                    const std::optional<int64_t> read = value.value_exact<int64_t>();
                    const TNumber& bounds = number->second;
                    if (!value.is_integer() || !read || *read < bounds.Low || *read > bounds.High)
                        return Fail(value, name + "." + std::string(field.str()) +
                                               " must be a whole number from " + std::to_string(bounds.Low) +
                                               " to " + std::to_string(bounds.High));
                    settings.*bounds.Field = int32_t(*read);
                }
            } else {
                return Fail(node, "unknown setting '" + name + "'");
            }
        }
        return {settings, {}};
    }

    // The community's texts: the message of the day and the moderators' names.
    static std::optional<std::string> Community(const std::string& field, const toml::node& value,
                                                TServerSettings& settings) {
        if (field == "motd") {
            const std::optional<std::string> text = value.value<std::string>();
            if (!value.is_string() || !text || text->size() > TServerSettings::MaxMotdBytes)
                return "community.motd must be text of at most " +
                       std::to_string(TServerSettings::MaxMotdBytes) + " bytes";
            settings.Motd = *text;
            return std::nullopt;
        }
        if (field == "moderators") {
            const toml::array* names = value.as_array();
            if (!names || names->size() > TServerSettings::MaxNamedModerators)
                return "community.moderators must be a list of at most " +
                       std::to_string(TServerSettings::MaxNamedModerators) + " names";
            settings.Moderators.clear();
            for (const toml::node& name : *names) {
                const std::optional<std::string> text = name.value<std::string>();
                if (!name.is_string() || !text || !IsValidPlayerName(*text))
                    return "community.moderators holds something that is not a player's name";
                settings.Moderators.push_back(*text);
            }
            return std::nullopt;
        }
        return "unknown setting '" + field + "' in [community]";
    }

    SettingsFile::TReading Fail(const toml::node& node, const std::string& why) const {
        return {std::nullopt, Path + ":" + std::to_string(node.source().begin.line) + ": " + why};
    }

private:
    std::string Path;
};

} // namespace

namespace SettingsFile {

TReading Parse(const std::string& text, const std::string& path) {
    try {
        const toml::table root = toml::parse(text, path);
        return TReader(path).Read(root);
    } catch (const toml::parse_error& error) {
        return {std::nullopt, path + ":" + std::to_string(error.source().begin.line) + ": " +
                                  std::string(error.description())};
    }
}

TReading Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {std::nullopt, path + ": cannot be read"};
    std::string text(MaxFileBytes + 1, '\0');
    file.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(file.gcount()));
    if (text.size() > MaxFileBytes)
        return {std::nullopt, path + ": longer than " + std::to_string(MaxFileBytes / 1024) + " KiB"};
    return Parse(text, path);
}

} // namespace SettingsFile
