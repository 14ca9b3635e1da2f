#pragma once

// Deadlines and rates of one connection. The defaults are what the program
// uses; tests over real sockets shorten them.
struct TNetLimits {
    int ConnectMs = 10000;  // a join that has not connected by then gives up
    int HandshakeMs = 5000; // the other side must introduce itself within this
    int PartialMs = 5000;   // a message begun must end within this
    int PingMs = 2000;      // a keep-alive goes out this often
    int SilenceMs = 10000;  // a connected peer silent this long is dropped
    int MaxMessagesPerSecond = 60;
    int MaxBytesPerSecond = 64 * 1024;
};
