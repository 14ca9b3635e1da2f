#pragma once

#include <QString>
#include <cstdint>

// Where a network match is played: hosting on a port, or joining a host.
struct TNetworkChoice {
    static constexpr uint16_t DefaultPort = 47017;

    bool Join = false;
    QString Address = QStringLiteral("localhost");
    uint16_t Port = DefaultPort;

    friend bool operator==(const TNetworkChoice&, const TNetworkChoice&) = default;
};
