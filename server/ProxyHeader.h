#pragma once

#include <asio.hpp>

#include <string>
#include <string_view>

// What a TCP front (HAProxy's send-proxy-v2) says before the client's own
// bytes: who the client is. Only version 2, the binary form, over TCP. It is
// believed only from the fronts the operator names; from anyone else the
// first bytes are the client's TLS.
struct TProxyHeader {
    static constexpr size_t FixedBytes = 16;
    // Addresses and a few TLVs (which are skipped); a front sends far less.
    static constexpr size_t MaxBytes = FixedBytes + 512;

    enum class TStatus {
        NeedMore, // Bytes says how many the header holds in all (FixedBytes until they are in)
        Client,   // a proxied connection from Source
        Local,    // the front's own connection (a health check): no client behind it
        Bad,      // Error says why
    };
    TStatus Status = TStatus::NeedMore;
    size_t Bytes = FixedBytes;
    asio::ip::tcp::endpoint Source;
    std::string Error;

    // Reads the header from the start of bytes.
    static TProxyHeader Parse(std::string_view bytes);
};
