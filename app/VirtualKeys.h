#pragma once

#include <cstdint>
#include <optional>

class QKeyEvent;

// The Windows virtual-key code of a key press, which is the form the match
// reads keys in; none for keys that have no such code.
std::optional<uint16_t> VirtualKeyOf(const QKeyEvent& event);
