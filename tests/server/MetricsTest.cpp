// What an operator's scraper and a front's health check see: the figures in
// Prometheus's text format, and the plain HTTP endpoint that serves them to
// anyone who can reach it, bounded.
#include "server/MetricsEndpoint.h"
#include "server/ServerLog.h"
#include "server/ServerMetrics.h"

#include "TlsTestClient.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Metrics, TheTextHasEveryFigureWithCumulativeBuckets) {
    TServerMetrics metrics;
    for (double seconds : {0.0001, 0.003, 0.003, 20.0}) metrics.MoveSeconds.Observe(seconds);
    metrics.Refused(TRefusal::Limit);
    metrics.Refused(TRefusal::Limit);
    const std::string text = MetricsText(metrics, {3, 2, 1, 1});
    for (const char* line :
         {"vantaro_connections 3\n", "vantaro_players 2\n", "vantaro_matches_in_play 1\n",
          "vantaro_move_seconds_bucket{le=\"0.0005\"} 1\n", "vantaro_move_seconds_bucket{le=\"0.0025\"} 1\n",
          "vantaro_move_seconds_bucket{le=\"0.005\"} 3\n", "vantaro_move_seconds_bucket{le=\"10\"} 3\n",
          "vantaro_move_seconds_bucket{le=\"+Inf\"} 4\n", "vantaro_move_seconds_count 4\n",
          "vantaro_move_seconds_sum 20.0061\n", "vantaro_refusals_total{reason=\"limit\"} 2\n",
          "vantaro_refusals_total{reason=\"bad_line\"} 0\n", "# TYPE vantaro_storage_seconds histogram\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
}

TEST(Metrics, EachRequestGetsItsAnswer) {
    asio::io_context io;
    TServerLog log([](const std::string&) {});
    std::string problem;
    TMetricsEndpoint endpoint(
        io, log, [] { return std::string("vantaro_players 7\n"); }, [&] { return problem; }, {});
    struct TCase {
        const char* Request;
        const char* Status;
        const char* Body;
    } cases[] = {
        {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n", "200 OK", "vantaro_players 7\n"},
        {"GET /metrics?x=1 HTTP/1.0\r\n\r\n", "200 OK", "vantaro_players 7\n"},
        {"GET /health HTTP/1.1\r\n\r\n", "200 OK", "ok\n"},
        {"POST /metrics HTTP/1.1\r\n\r\n", "405 ", ""},
        {"GET /etc/passwd HTTP/1.1\r\n\r\n", "404 ", ""},
        {"GET /metrics\r\n\r\n", "400 ", ""},
        {"\r\n\r\n", "400 ", ""},
    };
    for (const TCase& c : cases) {
        const std::string answer = endpoint.Answer(c.Request);
        EXPECT_EQ(answer.rfind(std::string("HTTP/1.1 ") + c.Status, 0), 0u) << c.Request << answer;
        EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4).find(c.Body), 0u) << c.Request << answer;
    }
    problem = "the database is unreachable";
    EXPECT_EQ(endpoint.Answer("GET /health HTTP/1.1\r\n\r\n").rfind("HTTP/1.1 503 ", 0), 0u);
}

TEST(Metrics, TheEndpointAnswersOverTcpAndBoundsSlowTooLongAndTooManyClients) {
    asio::io_context io;
    TServerLog log([](const std::string&) {});
    TMetricsEndpoint::TLimits limits;
    limits.RequestTimeout = std::chrono::milliseconds(200);
    limits.MaxConnections = 2;
    limits.MaxRequestBytes = 1000;
    TMetricsEndpoint endpoint(
        io, log, [] { return std::string("vantaro_players 7\n"); }, [] { return std::string(); }, limits);
    ASSERT_EQ(endpoint.Listen("127.0.0.1", 0), "");
    auto work = asio::make_work_guard(io);
    std::thread loop([&] { io.run(); });
    const uint16_t port = endpoint.Port();

    const std::string answer = HttpExchange(port, "GET /metrics HTTP/1.1\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("Content-Length: 18\r\n"), std::string::npos) << answer;
    EXPECT_EQ(HttpExchange(port, std::string(2000, 'x')).rfind("HTTP/1.1 431 ", 0), 0u);
    // Two clients that never finish their request hold both places: a third,
    // accepted after them, is turned away at once, and the two are closed
    // without an answer when their time is up.
    asio::io_context clients;
    std::vector<asio::ip::tcp::socket> holders;
    for (int i = 0; i < 2; ++i) {
        holders.emplace_back(clients);
        holders.back().connect({asio::ip::make_address("127.0.0.1"), port});
        asio::write(holders.back(), asio::buffer(std::string("GET /metrics HTTP/1.1\r\n")));
    }
    EXPECT_EQ(HttpExchange(port, "GET /metrics HTTP/1.1\r\n\r\n"), "");
    for (asio::ip::tcp::socket& holder : holders) {
        std::array<char, 64> chunk;
        asio::error_code error;
        EXPECT_EQ(holder.read_some(asio::buffer(chunk), error), 0u);
        EXPECT_EQ(error, asio::error::eof);
    }
    EXPECT_EQ(HttpExchange(port, "GET /health HTTP/1.1\r\n\r\n").rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

    asio::post(io, [&] {
        endpoint.Stop();
        work.reset();
    });
    loop.join();
}

} // namespace
