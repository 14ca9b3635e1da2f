#include "server/ServerMetrics.h"

namespace {

void Add(std::string& text, const char* name, const char* type, const char* help, uint64_t value) {
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n" + name + " " +
            std::to_string(value) + "\n";
}

constexpr std::array<const char*, RefusalKinds> RefusalLabels{"bad_line", "limit", "not_allowed", "storage"};

} // namespace

std::string MetricsText(const TServerMetrics& metrics, const TServerGauges& gauges) {
    std::string text;
    Add(text, "vantaro_connections", "gauge", "Open client connections.", gauges.Connections);
    Add(text, "vantaro_players", "gauge", "Players signed in.", gauges.Players);
    Add(text, "vantaro_tables", "gauge", "Tables open, waiting or in play.", gauges.Tables);
    Add(text, "vantaro_matches_in_play", "gauge", "Matches being played.", gauges.MatchesInPlay);
    Add(text, "vantaro_moves_total", "counter", "Moves accepted and stored.", metrics.Moves);
    text += metrics.MoveSeconds.Text(
        "vantaro_move_seconds",
        "Time from a move's line to its answer (on PostgreSQL from its check, in whole milliseconds).");
    text += metrics.StorageSeconds.Text("vantaro_storage_seconds", "Time of each call into the database.");
    Add(text, "vantaro_storage_errors_total", "counter", "Calls the database failed.", metrics.StorageErrors);
    text +=
        "# HELP vantaro_refusals_total Requests refused, by reason.\n# TYPE vantaro_refusals_total counter\n";
    for (size_t i = 0; i < RefusalKinds; ++i)
        text += std::string("vantaro_refusals_total{reason=\"") + RefusalLabels[i] + "\"} " +
                std::to_string(metrics.Refusals[i]) + "\n";
    Add(text, "vantaro_bus_dropped_total", "counter", "Messages from the bus dropped as malformed.",
        gauges.BusDropped);
    Add(text, "vantaro_bus_unsent_total", "counter", "Messages the bus was down for.", gauges.BusUnsent);
    text += metrics.BusSeconds.Text("vantaro_bus_seconds", "Round trips to the bus's Redis, every 2 s.");
    Add(text, "vantaro_takeovers_total", "counter", "Matches taken over from a server whose lease ran out.",
        metrics.TakeOvers);
    Add(text, "vantaro_tables_lost_total", "counter",
        "Tables stopped here because another server runs their match now.", metrics.TablesLost);
    return text;
}
