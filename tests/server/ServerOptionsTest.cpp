#include "server/ServerOptions.h"

#include <gtest/gtest.h>

namespace {

TEST(ServerOptions, EachArgumentListReadsAsExpectedOrIsOneLineOfError) {
    struct TCase {
        std::vector<std::string> Arguments;
        const char* Error; // part of the error; null when accepted
        uint16_t Port = TServerOptions::DefaultPort;
        const char* Data = ".";
        const char* Database = "";
    };
    const TCase cases[] = {
        {{}, nullptr},
        {{"--port", "1234"}, nullptr, 1234},
        {{"--port=0"}, nullptr, 0},
        {{"--port", "65535", "--data", "/srv/v"}, nullptr, 65535, "/srv/v"},
        {{"--database=postgresql://v@db:5433/vantaro"},
         nullptr,
         47018,
         ".",
         "postgresql://v@db:5433/vantaro"},
        {{"--cert", "c.pem", "--key", "k.pem"}, nullptr},
        {{"--port", "65536"}, "--port"},
        {{"--port", "-1"}, "--port"},
        {{"--port", "12ab"}, "--port"},
        {{"--port"}, "needs a value"},
        {{"--data="}, "needs a value"},
        {{"--cert", "c.pem"}, "go together"},
        {{"--key", "k.pem"}, "go together"},
        {{"--database", "mysql://x@y/z"}, "postgresql://"},
        {{"--bogus"}, "unknown option"},
        {{"extra"}, "unknown option"},
        {{"--help=yes"}, "no value"},
        {{"--instance", "db-host.example:47018"}, nullptr},
        {{"--instance", "two words"}, "--instance"},
        {{"--instance", std::string(65, 'a')}, "--instance"},
        {{"--metrics", "127.0.0.1:9100"}, nullptr},
        {{"--metrics=[::1]:0"}, nullptr},
        {{"--metrics", "::1:9100"}, "--metrics"},
        {{"--metrics", "[::1]"}, "--metrics"},
        {{"--metrics", ":9100"}, "--metrics"},
        {{"--metrics", "localhost:http"}, "--metrics"},
        {{"--proxy-from", "127.0.0.1,::1"}, nullptr},
        {{"--proxy-from", "127.0.0.1,"}, "--proxy-from"},
        {{"--proxy-from=haproxy.local"}, "--proxy-from"},
        {{"--redis", "redis://127.0.0.1:6379/2"}, nullptr},
        {{"--redis=redis://bus/16"}, "--redis"},
        {{"--redis", "127.0.0.1:6379"}, "--redis"},
    };
    for (const TCase& c : cases) {
        std::string text;
        for (const std::string& argument : c.Arguments) text += argument + " ";
        TServerOptionsResult result = ParseServerOptions(c.Arguments);
        if (c.Error) {
            EXPECT_FALSE(result.Options) << text;
            EXPECT_NE(result.Error.find(c.Error), std::string::npos) << text << ": " << result.Error;
            EXPECT_EQ(result.Error.find('\n'), std::string::npos) << text;
            continue;
        }
        ASSERT_TRUE(result.Options) << text << ": " << result.Error;
        EXPECT_EQ(result.Options->Port, c.Port) << text;
        EXPECT_EQ(result.Options->DataFolder, c.Data) << text;
        EXPECT_EQ(result.Options->DatabaseUrl, c.Database) << text;
    }
    EXPECT_EQ(ParseServerOptions({"--instance=east:47018"}).Options.value_or(TServerOptions()).Instance,
              "east:47018");
    const TServerOptions metrics =
        ParseServerOptions({"--metrics", "[::1]:9100"}).Options.value_or(TServerOptions());
    EXPECT_EQ(metrics.MetricsAddress, "::1");
    EXPECT_EQ(metrics.MetricsPort, 9100);
    EXPECT_EQ(ParseServerOptions({"--redis=redis://[::1]/1"}).Options.value_or(TServerOptions()).RedisUrl,
              "redis://[::1]/1");
}

} // namespace
