#include "cards/CardRecordReader.h"

#include "cards/CardInfo.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

bool IsBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string Shown(const std::string& token) {
    return token.size() <= 20 ? token : token.substr(0, 20) + "...";
}

} // namespace

bool TCardRecordReader::NextToken(std::string& token) {
    while (Position < Text.size() && IsBlank(Text[Position])) ++Position;
    if (Position >= Text.size()) return false;
    const size_t start = Position;
    while (Position < Text.size() && !IsBlank(Text[Position])) ++Position;
    token.assign(Text, start, Position - start);
    return true;
}

bool TCardRecordReader::ReadNumber(int32_t number, const char* what, int32_t& value, std::string& error) {
    std::string token;
    if (!NextToken(token)) {
        error = "record " + std::to_string(number) + " is incomplete";
        return false;
    }
    const char* first = token.data();
    const char* last = first + token.size();
    if (last - first > 1 && *first == '+' && std::isdigit(static_cast<unsigned char>(first[1]))) ++first;
    const auto [end, code] = std::from_chars(first, last, value);
    if (code == std::errc::result_out_of_range) {
        error = "record " + std::to_string(number) + " has " + what + " " + Shown(token) +
                ", beyond the range of a 32-bit number";
        return false;
    }
    if (code != std::errc() || end != last) {
        error = "record " + std::to_string(number) + " has \"" + Shown(token) + "\" where its " + what +
                " should be a whole number";
        return false;
    }
    return true;
}

bool TCardRecordReader::ReadRecord(int32_t number, TCardInfo& card, std::string& error) {
    std::string name;
    if (!NextToken(name)) {
        error = "record " + std::to_string(number) + " is incomplete";
        return false;
    }
    // Names are limited to 255 characters; a longer word means the file is damaged.
    if (name.size() > MaxNameLength) {
        error = "record " + std::to_string(number) + " has a name longer than " +
                std::to_string(MaxNameLength) + " characters";
        return false;
    }
    std::replace(name.begin(), name.end(), '_', ' ');

    static const char* const rankNames[4] = {"top rank", "right rank", "bottom rank", "left rank"};
    std::array<int32_t, 4> ranks{};
    for (int side = 0; side < 4; ++side)
        if (!ReadNumber(number, rankNames[side], ranks[side], error)) return false;
    int32_t element = 0;
    if (!ReadNumber(number, "element", element, error)) return false;
    // Element numbers pick one of the eight element pictures.
    if (element < 0 || element > MaxElement) {
        error = "record " + std::to_string(number) + " has element " + std::to_string(element) +
                "; elements run from 0 to " + std::to_string(MaxElement);
        return false;
    }
    card.Name = std::move(name);
    card.Ranks = ranks;
    card.Element = element;
    return true;
}
