#pragma once

#include <cstdint>
#include <string>

struct TCardInfo;

// Reads card records from the text of a card file: six whitespace-separated
// tokens each (name word, top, right, bottom, left, element); line breaks mean
// nothing. Every token is checked, so a short or damaged file is reported
// instead of leaving cards half filled.
class TCardRecordReader {
public:
    static constexpr size_t MaxNameLength = 255;
    static constexpr int32_t MaxElement = 8;

    explicit TCardRecordReader(std::string text) : Text(std::move(text)) {}

    // Fills the card's name, ranks and element from the next record. On
    // failure returns false and says what is wrong with record `number`.
    bool ReadRecord(int32_t number, TCardInfo& card, std::string& error);

private:
    bool NextToken(std::string& token);
    bool ReadNumber(int32_t number, const char* what, int32_t& value, std::string& error);

    std::string Text;
    size_t Position = 0;
};
