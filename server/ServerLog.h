#pragma once

#include <functional>
#include <string>

// One line per event on standard error (or wherever a test sends it). Text a
// client chose may be part of a line, so control characters and bytes outside
// printable ASCII are shown escaped and can never start a line of their own.
class TServerLog {
public:
    using TSink = std::function<void(const std::string& line)>;

    TServerLog(); // to standard error, each line stamped with the UTC time
    explicit TServerLog(TSink sink) : Sink(std::move(sink)) {}

    void Write(const std::string& text);

    static std::string Clean(const std::string& text);

private:
    TSink Sink;
};
