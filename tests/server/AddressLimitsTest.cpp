#include "server/AddressLimits.h"

#include <gtest/gtest.h>

namespace {

TEST(AddressLimits, FiveNewNamesAnHourPerAddressAndForgottenWhenIdle) {
    constexpr int64_t Hour = 3600 * 1000;
    TAddressLimits limits;
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(limits.TryNewName("192.0.2.1", i * 1000)) << i;
    EXPECT_FALSE(limits.TryNewName("192.0.2.1", 10 * 60 * 1000));
    EXPECT_TRUE(limits.TryNewName("192.0.2.2", 11 * 60 * 1000)) << "another address has its own five";
    // The first name leaves the hour: one more, and only one.
    EXPECT_TRUE(limits.TryNewName("192.0.2.1", Hour));
    EXPECT_FALSE(limits.TryNewName("192.0.2.1", Hour + 500));

    ASSERT_TRUE(limits.TryOpen("192.0.2.3"));
    limits.Sweep(Hour + 10 * 60 * 1000);
    EXPECT_EQ(limits.AddressesKnown(), 3u) << "names within the hour or a connection open";
    limits.Sweep(3 * Hour);
    EXPECT_EQ(limits.AddressesKnown(), 1u) << "only the address with a connection";
    limits.Closed("192.0.2.3");
    EXPECT_EQ(limits.AddressesKnown(), 0u);
}

TEST(AddressLimits, ConnectionsAreCountedUpAndDown) {
    TAddressLimits limits;
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(limits.TryOpen("a"));
    EXPECT_FALSE(limits.TryOpen("a"));
    limits.Closed("a");
    EXPECT_TRUE(limits.TryOpen("a"));
    limits.Closed("unknown"); // harmless
    EXPECT_EQ(limits.Connections("a"), 8);
}

// Each kind of count outlives the address's connections for exactly as long
// as its window, and a sweep forgets it only then.
TEST(AddressLimits, CountsOutliveReconnectingUntilTheirWindowPasses) {
    using TAction = TAddressLimits::TAction;
    const struct {
        TAction Action;
        int Limit;
        int64_t WindowMs;
    } kinds[] = {
        {TAction::Chat, 10, 10'000}, {TAction::CreateTable, 5, 60'000}, {TAction::Query, 30, 10'000}};
    int64_t start = 1'000'000;
    for (auto kind : kinds) {
        TAddressLimits limits;
        ASSERT_TRUE(limits.TryOpen("a"));
        for (int i = 0; i < kind.Limit; ++i)
            ASSERT_TRUE(limits.TryAction("a", kind.Action, kind.Limit, kind.WindowMs, start));
        limits.Closed("a");
        ASSERT_TRUE(limits.TryOpen("a"));
        EXPECT_FALSE(limits.TryAction("a", kind.Action, kind.Limit, kind.WindowMs, start + 1))
            << "a new connection is no new allowance";
        limits.Closed("a");
        limits.Sweep(start + kind.WindowMs - 1);
        EXPECT_EQ(limits.AddressesKnown(), 1u) << "remembered within its window";
        limits.Sweep(start + kind.WindowMs);
        EXPECT_EQ(limits.AddressesKnown(), 0u) << "forgotten after it";
    }
}

// A full table forgets nobody early: an address it has no room for is turned
// away, and one it knows keeps its counts, until a sweep makes room.
TEST(AddressLimits, AtTheBoundNewAddressesWaitAndKnownOnesKeepTheirCounts) {
    TAddressLimits limits;
    limits.MaxAddresses = 3;
    ASSERT_TRUE(limits.TryOpen("a"));
    ASSERT_TRUE(limits.TryOpen("b"));
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(limits.TryAction("c", TAddressLimits::TAction::Chat, 10, 10'000, 0));
    EXPECT_FALSE(limits.TryOpen("d"));
    EXPECT_FALSE(limits.TryAction("d", TAddressLimits::TAction::Chat, 10, 10'000, 1));
    EXPECT_FALSE(limits.TryNewName("d", 1));
    EXPECT_EQ(limits.AddressesKnown(), 3u);
    EXPECT_FALSE(limits.TryAction("c", TAddressLimits::TAction::Chat, 10, 10'000, 2)) << "c's count is kept";
    EXPECT_TRUE(limits.TryOpen("a")) << "a known address still connects";
    limits.Sweep(10'000);
    EXPECT_TRUE(limits.TryOpen("d"));
}

} // namespace
