#pragma once

// How well the computer plays: Easy mostly at random, Normal a few moves
// ahead, Perfect to the end of the match.
enum class TLevel { Easy, Normal, Perfect };
