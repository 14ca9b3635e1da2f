#pragma once

#include "protocol/ServerMessage.h"
#include "server/cluster/ClusterSeat.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the server processes of one cluster tell each other about their
// lobbies: one compact JSON object per bus message. A process's entries go
// out as they change and whole, as a heartbeat, every few seconds; a whole
// set may take several messages, the last of which says so. Another process
// wrote what is decoded here, so it is checked as a client's line is: a
// message too long, of an unknown kind, with a field missing, out of range or
// with too many entries is refused whole.
struct TClusterMessage {
    static constexpr size_t MaxBytes = 64 * 1024;
    // Entries (kept and gone) in one message: well within MaxBytes.
    static constexpr size_t MaxEntries = 200;
    static constexpr size_t MaxOriginBytes = 64;

    enum class TKind {
        Entries,   // players and tables added, changed or gone
        Chat,      // a line said in the lobby
        SignedIn,  // a player signed in: any older connection of theirs goes
        Resync,    // the sender rejoined the bus: every process sends its whole set
        Watch,     // to the process running a table: send its state, someone here watches it
        TableLine, // on a table's channel: a line its watchers hear
        TableChat, // to the process running a table: a watcher elsewhere said this there
        Relay,     // to the process running a table: a request of a client connected to the sender
        Relayed,   // back to the process holding that client's connection: a line for it
        Released,  // to the process a client's requests went to: its connection is gone from there
        TakenOver, // the sender took over a match of the player's: where it runs now
        OpenMatch, // from the process keeping the Play Now queue: open the match of a pair there
        Paired,    // from the keeper to a paired player's process: their match opens at Host
        SitAt,     // from the keeper to a Play Now asker's process: sit them at Table of Host
    };
    struct TPlayer {
        int64_t Id = 0; // the player's id in the shared database
        TLobbyPlayer Entry;
        // The process running Entry.Table, numbering it, when not the sender:
        // the sender holds the player's connection, another runs their table.
        std::string TableOrigin;
    };

    TKind Kind = TKind::Entries;
    std::string Origin; // the sending process's instance name

    // Entries. A whole set is numbered by Generation; Last closes it, and
    // what the sender had before it and did not name again is gone.
    bool Whole = false;
    bool Last = false;
    int64_t Generation = 0;
    std::vector<TPlayer> Players;
    std::vector<TLobbyTable> Tables; // ids as the origin numbers its tables
    std::vector<int64_t> GonePlayers, GoneTables;

    // Chat, SignedIn, TableLine (who said it, if anyone: 0), TableChat, Relay and TakenOver.
    int64_t Player = 0;
    QString Name, Text;
    int64_t AtMs = 0; // SignedIn: when

    // Watch, TableLine, TableChat and SitAt: the table, as its process numbers it.
    std::string To; // the process running it (Relayed, Released: the one the message is for)
    int64_t Table = 0;
    // TableLine: the line, as a client reads it; State when it is the table
    // as it stands, for those who just came to watch it.
    TServerMessage Line;
    bool State = false;

    // Relay, Relayed and Released: a client of the process holding its
    // connection, named by that connection. Relay vouches for who it is and
    // carries its request as the client wrote it (checked again where it
    // goes); Relayed carries a line for it, or Home when it is back in the
    // lobby (of the process holding it), and Close when the connection is to end.
    uint64_t Connection = 0;
    std::string Fingerprint, Address, LimitKey, Request;
    bool Home = false, Close = false;
    // Relay: the player's rating and blocks as the sender knows them (see
    // TClusterSeat). Relayed: the player's rating after a rated match there.
    std::optional<TRating> Rating;
    std::vector<int64_t> Blocks;

    // OpenMatch: the two players Play Now paired, the one who waited first
    // (Blue), and the rated match's terms.
    std::array<TClusterSeat, 2> Seats;
    int32_t Rules = 0, Seconds = 60;
    // Paired (with To and Connection): the process told to open it. SitAt
    // (with To, Connection and Table): the process running that table.
    std::string Host;

    // A message to process to about its client connection.
    static TClusterMessage About(TKind kind, std::string to, uint64_t connection) {
        TClusterMessage message;
        message.Kind = kind;
        message.To = std::move(to);
        message.Connection = connection;
        return message;
    }

    std::string Encode() const;
    // Nothing when it breaks any of the rules above.
    static std::optional<TClusterMessage> Decode(const std::string& payload);
};
