#include "Support/Text.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

TEST(TextTests, LowercasesAllScripts) {
    EXPECT_EQ(lowercased("ÑANDÚ Élan ΣΟΦΙΑ"), "ñandú élan σοφια");
    EXPECT_EQ(lowercased("İ"), "i̇"); // full mapping, not the Turkish locale's
    EXPECT_EQ(lowercased(""), "");
}

TEST(TextTests, MeasuresWellFormedUtf8Sequences) {
    EXPECT_EQ(utf8SequenceLength("a"), 1u);
    EXPECT_EQ(utf8SequenceLength("ñ"), 2u);
    EXPECT_EQ(utf8SequenceLength("–"), 3u);
    EXPECT_EQ(utf8SequenceLength("🎵"), 4u);
    EXPECT_EQ(utf8SequenceLength(""), 0u);
    EXPECT_EQ(utf8SequenceLength("\x80"), 0u);             // lone continuation byte
    EXPECT_EQ(utf8SequenceLength("\xC0\xAF"), 0u);         // overlong "/"
    EXPECT_EQ(utf8SequenceLength("\xE0\x80\xAF"), 0u);     // overlong
    EXPECT_EQ(utf8SequenceLength("\xED\xA0\x80"), 0u);     // surrogate
    EXPECT_EQ(utf8SequenceLength("\xF4\x90\x80\x80"), 0u); // above U+10FFFF
    EXPECT_EQ(utf8SequenceLength("\xE2\x80"), 0u);         // cut short
}

} // namespace
} // namespace bridge
