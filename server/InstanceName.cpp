#include "server/InstanceName.h"

#include <openssl/rand.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t MaxInstanceName = 64;

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':';
}

std::string MakeName() {
    char host[256] = {};
    std::string name;
    if (::gethostname(host, sizeof host - 1) == 0)
        for (const char* c = host; *c != '\0' && name.size() < MaxInstanceName - 9; ++c)
            if (IsNameChar(*c)) name += *c;
    if (name.empty()) name = "vantaro";
    unsigned char random[4] = {};
    if (RAND_bytes(random, sizeof random) != 1) return {};
    char hex[9];
    std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x", random[0], random[1], random[2], random[3]);
    return name + "-" + hex;
}

} // namespace

bool IsValidInstanceName(const std::string& name) {
    if (name.empty() || name.size() > MaxInstanceName) return false;
    for (char c : name)
        if (!IsNameChar(c)) return false;
    return true;
}

std::string LoadOrMakeInstanceName(const std::string& file, std::string& error) {
    std::string name;
    if (std::FILE* in = std::fopen(file.c_str(), "r")) {
        char line[MaxInstanceName + 2] = {};
        if (std::fgets(line, sizeof line, in)) name = line;
        std::fclose(in);
        if (!name.empty() && name.back() == '\n') name.pop_back();
        if (!IsValidInstanceName(name)) {
            error = file + " holds no valid instance name (1 to 64 of A-Z a-z 0-9 . - _ :)";
            return {};
        }
        return name;
    }
    if (errno != ENOENT) {
        error = "cannot read " + file + ": " + std::strerror(errno);
        return {};
    }
    name = MakeName();
    if (name.empty()) {
        error = "no random bytes for an instance name";
        return {};
    }
    // O_EXCL: of two servers making it at once, one writes it and the other
    // reads what it wrote.
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        if (errno == EEXIST) return LoadOrMakeInstanceName(file, error);
        error = "cannot make " + file + ": " + std::strerror(errno);
        return {};
    }
    const std::string text = name + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        error = "cannot write " + file;
        ::unlink(file.c_str());
        return {};
    }
    return name;
}
