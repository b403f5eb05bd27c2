#include "Support/Numbers.hpp"

#include <gtest/gtest.h>

#include <cstdint>

namespace bridge {
namespace {

TEST(NumbersTests, TakesOnlyTextsThatAreWholeNumbers) {
    EXPECT_EQ(parseNumber<double>("124.00"), 124.0);
    EXPECT_EQ(parseNumber<double>("-3"), -3.0);
    EXPECT_EQ(parseNumber<int>("42"), 42);
    for (const char* text : {"", " 1", "1 ", "+1", "1.5x", "inf", "nan", "1e999"}) {
        EXPECT_EQ(parseNumber<double>(text), std::nullopt) << text;
    }
    EXPECT_EQ(parseNumber<int>("1.5"), std::nullopt);
    EXPECT_EQ(parseNumber<std::uint16_t>("65536"), std::nullopt) << "out of range";
    EXPECT_EQ(parseNumber<std::uint16_t>("-1"), std::nullopt);
}

} // namespace
} // namespace bridge
