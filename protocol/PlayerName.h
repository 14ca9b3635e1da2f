#pragma once

#include <QString>

// A player name: 3 to 16 of A-Z a-z 0-9 - _.
bool IsPlayerName(const QString& name);
