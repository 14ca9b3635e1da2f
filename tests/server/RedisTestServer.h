#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <asio.hpp>

#include <algorithm>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

// A port that nothing listens on now, below the range the kernel hands out to
// outgoing connections: Redis is restarted on it, and while it is down any
// connection on the machine (another test's client, or a server's own retry)
// could otherwise take it as its local port and keep Redis from coming back.
inline uint16_t FreeLoopbackPort() {
    int firstEphemeral = 32768;
    std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> firstEphemeral;
    const int low = std::max(1024, firstEphemeral - 12000);
    std::mt19937 random(std::random_device{}());
    asio::io_context io;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto port = uint16_t(std::uniform_int_distribution<int>(low, firstEphemeral - 1)(random));
        asio::ip::tcp::acceptor acceptor(io);
        asio::error_code error;
        acceptor.open(asio::ip::tcp::v4(), error);
        if (!error) acceptor.bind({asio::ip::make_address("127.0.0.1"), port}, error);
        if (!error) return port;
    }
    ADD_FAILURE() << "no free port below " << firstEphemeral;
    return 0;
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
        // Listening, or saying why not (its port taken): a Redis that never came
        // back would otherwise look like a server that never rejoined it.
        asio::io_context io;
        for (int attempt = 0; attempt < 100 && Process.state() == QProcess::Running; ++attempt) {
            asio::ip::tcp::socket probe(io);
            asio::error_code error;
            probe.connect({asio::ip::make_address("127.0.0.1"), Port}, error);
            if (!error) return;
            Process.waitForFinished(50);
        }
        FAIL() << "redis-server is not listening on " << Port << ":\n"
               << Process.readAllStandardOutput().toStdString();
    }
    void Stop() {
        Process.terminate();
        ASSERT_TRUE(Process.waitForFinished(10000));
    }
    ~TRedisTestServer() {
        if (Process.state() != QProcess::NotRunning) Stop();
    }
};
