#include "server/ProxyHeader.h"

#include <cstring>

namespace {

constexpr char Signature[12] = {'\r', '\n', '\r', '\n', '\0', '\r', '\n', 'Q', 'U', 'I', 'T', '\n'};

TProxyHeader Bad(std::string why) {
    TProxyHeader header;
    header.Status = TProxyHeader::TStatus::Bad;
    header.Error = std::move(why);
    return header;
}

uint16_t Port(const unsigned char* bytes) {
    return uint16_t(bytes[0] << 8 | bytes[1]);
}

} // namespace

TProxyHeader TProxyHeader::Parse(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    TProxyHeader header;
    if (text.size() < FixedBytes) return header;
    if (std::memcmp(bytes, Signature, sizeof Signature) != 0)
        return Bad("no PROXY protocol version 2 header");
    const unsigned version = bytes[12] >> 4, command = bytes[12] & 0x0F;
    if (version != 2 || command > 1)
        return Bad("PROXY header of version " + std::to_string(version) + ", command " +
                   std::to_string(command));
    header.Bytes = FixedBytes + Port(bytes + 14);
    if (header.Bytes > MaxBytes) return Bad("PROXY header of " + std::to_string(header.Bytes) + " bytes");
    if (text.size() < header.Bytes) return header;
    if (command == 0) {
        header.Status = TStatus::Local;
        return header;
    }
    const unsigned char* address = bytes + FixedBytes;
    const size_t length = header.Bytes - FixedBytes;
    switch (bytes[13]) {
    case 0x11: // TCP over IPv4
        if (length < 12) return Bad("PROXY header too short for IPv4 addresses");
        header.Source = {asio::ip::address_v4({address[0], address[1], address[2], address[3]}),
                         Port(address + 8)};
        break;
    case 0x21: { // TCP over IPv6
        if (length < 36) return Bad("PROXY header too short for IPv6 addresses");
        asio::ip::address_v6::bytes_type v6;
        std::memcpy(v6.data(), address, v6.size());
        header.Source = {asio::ip::address_v6(v6), Port(address + 32)};
        break;
    }
    default:
        return Bad("PROXY header for a connection other than TCP");
    }
    header.Status = TStatus::Client;
    return header;
}
