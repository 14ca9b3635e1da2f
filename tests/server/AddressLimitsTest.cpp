#include "server/AddressLimits.h"

#include <gtest/gtest.h>

namespace {

TEST(AddressLimits, FiveNewNamesAnHourPerAddressAndForgottenWhenIdle)
{
    constexpr int64_t Hour = 3600 * 1000;
    TAddressLimits limits;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(limits.TryNewName("192.0.2.1", i * 1000)) << i;
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

TEST(AddressLimits, ConnectionsAreCountedUpAndDown)
{
    TAddressLimits limits;
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(limits.TryOpen("a"));
    EXPECT_FALSE(limits.TryOpen("a"));
    limits.Closed("a");
    EXPECT_TRUE(limits.TryOpen("a"));
    limits.Closed("unknown"); // harmless
    EXPECT_EQ(limits.Connections("a"), 8);
}

} // namespace
