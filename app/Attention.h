#pragma once

#include "game/TableEvent.h"

#include <QString>
#include <functional>

// Calls a player back to a window left in the background when the match
// across the network needs them: it has started, or it is their move again.
// Nothing happens while one of the game's windows is in front, nor at one
// keyboard, against the computer, while watching or in a replay.
class TAttention {
public:
    struct THooks {
        std::function<bool()> InForeground;
        // Asks the window manager to mark the window (a blinking task bar entry).
        std::function<void()> Alert;
        // A desktop notification: its title and its one line.
        std::function<void(const QString& title, const QString& body)> Notify;
    };

    explicit TAttention(THooks hooks) : Hooks(std::move(hooks)) {}

    void Take(const TTableEvent& event);

private:
    void Call(const QString& body);

    THooks Hooks;
};
