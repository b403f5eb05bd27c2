#include "Server/PlainText.hpp"
#include "Server/ServerJson.hpp"
#include "Server/ServerPages.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

TEST(PlainTests, BlanksAreTrimmedAndFolded) {
    EXPECT_EQ(plain("  A\tB \u00a0 C  ", 300, true), "A B C");
    EXPECT_EQ(plain("\u202aA\u202eB\u2069\ufeffC\x7f\u2066", 300, true), "A B C")
        << "directional formatting folds";
    EXPECT_EQ(plain("A\u3000\u2028\u0085B", 300, true), "A B");
    EXPECT_EQ(plain("A\xff"
                    "B",
                    300, true),
              "A\uFFFDB")
        << "ill-formed UTF-8 is no blank";
    EXPECT_EQ(plain(" \t\r\n\x01\u00a0 ", 300, true), std::nullopt);
    EXPECT_EQ(plain("", 300, true), std::nullopt);
    // U+200E (a mark, not blank) stays; U+200B is no White_Space either.
    EXPECT_EQ(plain("\u200eA\u200bB", 300, true), "\u200eA\u200bB");
}

TEST(PlainTests, LongTextsAreCutToWholeCharacters) {
    const std::string title = std::string(299, 'a') + " b"; // 301 units
    EXPECT_EQ(plain(title, 300, true), std::string(299, 'a'))
        << "the space left at the end is trimmed";
    EXPECT_EQ(plain(title, 300, false), std::nullopt);
    EXPECT_EQ(plain(std::string(300, 'a'), 300, false), std::string(300, 'a'));

    // "e" with a combining acute accent is one character of two units: never split.
    EXPECT_EQ(plain("abe\u0301", 3, true), "ab");
    EXPECT_EQ(plain("abe\u0301", 4, true), "abe\u0301");
    // An emoji outside the BMP counts two UTF-16 units.
    EXPECT_EQ(plain("a🎵", 2, true), "a");
    EXPECT_EQ(plain("a🎵", 3, true), "a🎵");
    EXPECT_EQ(plain("a🎵", 2, false), std::nullopt);
    // A family emoji sequence (ZWJ) is one character of 8 units.
    const std::string family = "👩\u200d👩\u200d👧";
    EXPECT_EQ(plain("x" + family, 8, true), "x");
    EXPECT_EQ(plain("x" + family, 9, true), "x" + family);
    EXPECT_EQ(plain(family, 7, true), std::nullopt);
}

TEST(PlainTests, ServerMessageIsTheErrorText) {
    EXPECT_EQ(serverMessage(R"({"error":"No such code"})"), "No such code");
    EXPECT_EQ(serverMessage(R"({"error":""})"), "");
    EXPECT_EQ(serverMessage(R"({"error":5})"), std::nullopt);
    EXPECT_EQ(serverMessage(R"({"message":"x"})"), std::nullopt);
    EXPECT_EQ(serverMessage(R"(["error"])"), std::nullopt);
    EXPECT_EQ(serverMessage("<html>"), std::nullopt);
    EXPECT_EQ(serverMessage(""), std::nullopt);
}

TEST(PlainTests, ServerPages) {
    EXPECT_EQ(ServerPages::guide("https://setmara.app"), "https://setmara.app/guide#guest");
    EXPECT_EQ(ServerPages::guide("https://setmara.app/"), "https://setmara.app/guide#guest");
    EXPECT_EQ(ServerPages::gigs("https://setmara.app"), "https://setmara.app/#djsets");
    EXPECT_EQ(ServerPages::gigs("http://127.0.0.1:8080"), "http://127.0.0.1:8080/#djsets");
    EXPECT_EQ(ServerPages::guide("http://setmara.app"), std::nullopt);
    EXPECT_EQ(ServerPages::guide(""), std::nullopt);
    EXPECT_EQ(ServerPages::guide("/"), std::nullopt);
    EXPECT_EQ(ServerPages::guide("setmara.app"), std::nullopt);
    EXPECT_EQ(ServerPages::guide("https://user@setmara.app"), std::nullopt);
}

} // namespace
} // namespace bridge
