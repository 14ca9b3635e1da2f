#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A program the load test starts and measures: its output goes to a file
// (read for the port it says it listens on), its processor time and resident
// memory are read from /proc. Stopped with SIGTERM, then SIGKILL after 5 s.
class TChildProcess {
public:
    TChildProcess() = default;
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;
    ~TChildProcess() { Stop(); }

    // Starts program with arguments, its standard output and error to logFile.
    bool Start(const std::vector<std::string>& arguments, const std::string& logFile);
    // The number after "port " in the first line holding "listening on", once
    // it appears (0 if it does not within timeout or the program ends).
    int WaitForPort(std::chrono::seconds timeout);
    // User plus system time in seconds, and resident memory in bytes.
    double CpuSeconds() const;
    // Seconds it was ready to run but waited for a processor (0 where the
    // kernel does not say).
    double QueuedSeconds() const;
    int64_t ResidentBytes() const;
    // Stops it; the exit status, or -1.
    int Stop();

private:
    pid_t Id = 0;
    std::string LogFile;
};
