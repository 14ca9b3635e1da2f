#pragma once

#include "records/MatchRecord.h"

#include <string>

// What is wrong with a record, as a short phrase ("move 12 puts a card on the
// occupied centre square"), or an empty string when nothing is. Checks every
// value's range and that every move is one the table allows: the slot holds a
// card and the square is empty, turns alternating, a fresh deal after every
// ninth card with a seed of its own. Whether a deal really ended in the draw that a following deal
// needs takes the cards' ranks; ReplayRecord checks that.
std::string RecordProblem(const TMatchRecord& record);
