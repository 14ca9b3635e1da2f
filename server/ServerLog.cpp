#include "server/ServerLog.h"

#include <cstdio>
#include <ctime>

TServerLog::TServerLog()
    : Sink([](const std::string& line) {
          std::time_t now = std::time(nullptr);
          std::tm utc{};
          gmtime_r(&now, &utc);
          char stamp[32];
          std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
          std::fprintf(stderr, "%s %s\n", stamp, line.c_str());
          std::fflush(stderr);
      }) {}

void TServerLog::Write(const std::string& text) {
    Sink(Clean(text));
}

std::string TServerLog::Clean(const std::string& text) {
    static const char Hex[] = "0123456789abcdef";
    std::string line;
    line.reserve(text.size());
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            line += char(c);
        } else {
            line += "\\x";
            line += Hex[c >> 4];
            line += Hex[c & 15];
        }
    }
    return line;
}
