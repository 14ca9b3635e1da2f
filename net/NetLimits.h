#pragma once

// Deadlines and rates of one connection. The defaults are what the program
// uses; tests over real sockets shorten them.
struct TNetLimits {
    int ConnectMs = 10000;  // a join that has not connected by then gives up
    int HandshakeMs = 5000; // the other side must introduce itself within this
    int PartialMs = 5000;   // a message begun must end within this
    int PingMs = 2000;      // a keep-alive goes out this often
    int SilenceMs = 10000;  // a connected peer that ends no line this long is dropped
    // Carrying another line protocol, 0 means no limit: a client holds a
    // server only to the size of its lines.
    int MaxMessagesPerSecond = 60;
    int MaxBytesPerSecond = 64 * 1024;
    int MaxLineBytes = 4096; // direct play's limit; another line protocol may set its own
};
