#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>

// What the lobby shows of one kind of entry (players, or tables): each
// entry's JSON object, encoded once when it changes; the bounded view that
// everyone in the lobby sees; and which shown entries changed since the last
// flush, so that an entry changing twice goes out once. An entry stays in
// the view until it goes, and a freed place goes to the newest entry not
// shown: a view of the oldest entries would change with every one that ends,
// as they end oldest first. Entries outside the view cost nobody a line.
class TLobbyView {
public:
    // type names the update line ("player"): {"type":"player", …the object's fields}.
    TLobbyView(std::string type, size_t capacity);

    // Adds or replaces an entry; object is a compact JSON object without a
    // type, goneLine the whole line that says the entry is gone.
    void Put(int64_t id, std::string object, std::string goneLine);
    void Remove(int64_t id);

    // The update line of an entry, shown or not; empty if there is none.
    std::string Line(int64_t id) const;
    // "[…]": the shown entries' objects in id order, for a snapshot.
    const std::string& Shown() const;

    // Every entry, shown or not: each player or table once, wherever it is.
    size_t Size() const { return Entries.size(); }
    bool Changed() const { return !Dirty.empty(); }
    // One line for each shown entry that changed, entered or left the view
    // since the last call (its current line, or its gone line), in id order.
    std::string TakeChanges();

private:
    struct TEntry {
        std::string Object;
        std::string GoneLine;
    };

    void Touch(int64_t id, const std::string& goneLine);
    std::string LineOf(const TEntry& entry) const;

    std::string Type;
    size_t Capacity;
    std::map<int64_t, TEntry> Entries;
    std::set<int64_t> Visible;            // at most Capacity of Entries; all of them while they fit
    std::map<int64_t, std::string> Dirty; // id → its gone line, should it have left by the flush
    mutable std::string ShownCache;
    mutable bool ShownValid = false;
};
