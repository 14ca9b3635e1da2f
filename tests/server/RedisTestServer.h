#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <asio.hpp>

#include <gtest/gtest.h>

inline uint16_t FreeLoopbackPort() {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
    return acceptor.local_endpoint().port();
}

// A throwaway redis-server on loopback that keeps nothing on disk; stopped
// and started again on the same port.
struct TRedisTestServer {
    QTemporaryDir Folder;
    QProcess Process;
    uint16_t Port = FreeLoopbackPort();

    static bool Installed() { return !QStandardPaths::findExecutable("redis-server").isEmpty(); }
    std::string Url() const { return "redis://127.0.0.1:" + std::to_string(Port); }
    void Start() {
        Process.start("redis-server", {"--port", QString::number(Port), "--bind", "127.0.0.1", "--save", "",
                                       "--appendonly", "no", "--dir", Folder.path()});
        ASSERT_TRUE(Process.waitForStarted(5000));
    }
    void Stop() {
        Process.terminate();
        ASSERT_TRUE(Process.waitForFinished(10000));
    }
    ~TRedisTestServer() {
        if (Process.state() != QProcess::NotRunning) Stop();
    }
};
