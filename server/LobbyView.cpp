#include "server/LobbyView.h"

#include "protocol/ServerMessages.h"

TLobbyView::TLobbyView(std::string type, size_t capacity) : Type(std::move(type)), Capacity(capacity) {}

void TLobbyView::Touch(int64_t id, const std::string& goneLine) {
    Dirty[id] = goneLine;
    ShownValid = false;
}

std::string TLobbyView::LineOf(const TEntry& entry) const {
    return ServerMessages::TypedLine(Type, entry.Object);
}

void TLobbyView::Put(int64_t id, std::string object, std::string goneLine) {
    auto [it, added] = Entries.insert_or_assign(id, TEntry{std::move(object), std::move(goneLine)});
    if (Visible.count(id)) {
        Touch(id, it->second.GoneLine);
    } else if (added && Visible.size() < Capacity) { // not full, so nothing is hidden
        Visible.insert(id);
        Touch(id, it->second.GoneLine);
    }
}

void TLobbyView::Remove(int64_t id) {
    auto found = Entries.find(id);
    if (found == Entries.end()) return;
    bool shown = Visible.erase(id) > 0;
    if (shown) Touch(id, found->second.GoneLine);
    Entries.erase(found);
    if (!shown || Visible.size() == Entries.size()) return;
    // The newest hidden entry takes the freed place: it is likely to stay a
    // while, where the oldest would soon leave it again.
    auto next = Entries.rbegin();
    while (Visible.count(next->first)) ++next;
    Visible.insert(next->first);
    Touch(next->first, next->second.GoneLine);
}

std::string TLobbyView::Line(int64_t id) const {
    auto found = Entries.find(id);
    return found == Entries.end() ? std::string() : LineOf(found->second);
}

const std::string& TLobbyView::Shown() const {
    if (!ShownValid) {
        ShownCache.clear();
        ShownCache += '[';
        for (int64_t id : Visible) {
            if (ShownCache.size() > 1) ShownCache += ',';
            ShownCache += Entries.at(id).Object;
        }
        ShownCache += ']';
        ShownValid = true;
    }
    return ShownCache;
}

std::string TLobbyView::TakeChanges() {
    std::string lines;
    for (const auto& [id, goneLine] : Dirty) lines += Visible.count(id) ? LineOf(Entries.at(id)) : goneLine;
    Dirty.clear();
    return lines;
}
