#include "Support/SourceText.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

TEST(SourceTextTests, TrimsUnicodeWhiteSpaceAtBothEnds) {
    EXPECT_EQ(trimmed(" \t\r\nMi Gente \n"), "Mi Gente");
    EXPECT_EQ(trimmed("\u00A0\u2028Día\u3000\u0085"), "Día");
    EXPECT_EQ(trimmed("a  b"), "a  b");
    EXPECT_EQ(trimmed("Beyoncé"), "Beyoncé"); // a multi-byte last letter stays
    EXPECT_EQ(trimmed(" \xFF "), "\xFF");     // ill-formed bytes are kept
    EXPECT_EQ(trimmed(" \n "), "");
}

TEST(SourceTextTests, EmptyAfterTrimmingIsAbsent) {
    EXPECT_EQ(presentText(std::nullopt), std::nullopt);
    EXPECT_EQ(presentText(" \n"), std::nullopt);
    EXPECT_EQ(presentText(" x "), "x");
}

} // namespace
} // namespace bridge
