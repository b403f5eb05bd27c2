#include "DjayItemBuilder.hpp"
#include "Readers/DjayHistoryItem.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace bridge {
namespace {

using testing::DjayItemBuilder;

constexpr double start = 818'454'600.25;

std::optional<DjayHistoryItem> decode(const DjayItemBuilder& item) {
    return DjayHistoryItem::decode(item.data());
}

// The fields every decodable item needs, placed past the header.
DjayItemBuilder minimal() {
    DjayItemBuilder item;
    item.text("title", "T").date("startTime", start);
    return item;
}

TEST(DjayHistoryItemTests, DecodesAnItemAsDjayWritesIt) {
    EXPECT_EQ(decode(DjayItemBuilder::song("Vivir Mi Vida", "Marc Anthony", start, 252.5f)),
              (DjayHistoryItem{.id = "6F1C2A4E-93B1-4E55-8C1D-2B7A0E9F4C11",
                               .title = "Vivir Mi Vida",
                               .artist = "Marc Anthony",
                               .duration = 252.5,
                               .deck = 2,
                               .started = instantFromReferenceSeconds(start)}));
    EXPECT_EQ(decode(minimal()),
              (DjayHistoryItem{.title = "T", .started = instantFromReferenceSeconds(start)}));
}

TEST(DjayHistoryItemTests, NeedsTheHeaderATitleAndAStart) {
    EXPECT_EQ(DjayHistoryItem::decode(""), std::nullopt);
    EXPECT_EQ(DjayHistoryItem::decode(minimal().data().substr(0, 16)), std::nullopt);
    std::string wrongMagic = minimal().data();
    wrongMagic[0] = 'X';
    EXPECT_EQ(DjayHistoryItem::decode(wrongMagic), std::nullopt);

    DjayItemBuilder noStart;
    noStart.text("title", "T");
    EXPECT_EQ(decode(noStart), std::nullopt);
    DjayItemBuilder emptyTitle;
    emptyTitle.text("title", "").date("startTime", start);
    EXPECT_EQ(decode(emptyTitle), std::nullopt);

    // The only "title" name lies in the header, where names are not looked for.
    std::string inHeader = "TSAF\x08title\x00\x00\x00\x00\x00\x00";
    inHeader.resize(16, '\0');
    DjayItemBuilder rest;
    rest.text("artist", "A").date("startTime", start);
    EXPECT_EQ(DjayHistoryItem::decode(inHeader + rest.data().substr(16)), std::nullopt);
    ASSERT_TRUE(decode(rest.text("title", "T")));
}

TEST(DjayHistoryItemTests, FindsTheStartTagThroughItsPadding) {
    const auto raw = std::bit_cast<std::uint64_t>(start);
    std::string value;
    for (int i = 0; i < 8; ++i) {
        value += static_cast<char>((raw >> (8 * i)) & 0xFF);
    }
    for (int padding = 0; padding <= 8; ++padding) {
        DjayItemBuilder item;
        item.text("title", "T")
            .raw("\x30")
            .raw(std::string(padding, '\0'))
            .raw(value)
            .name("startTime");
        const auto decoded = decode(item);
        ASSERT_TRUE(decoded) << padding;
        EXPECT_EQ(decoded->started, instantFromReferenceSeconds(start));
    }
    DjayItemBuilder tooFar;
    tooFar.text("title", "T").raw("\x30").raw(std::string(9, '\0')).raw(value).name("startTime");
    EXPECT_EQ(decode(tooFar), std::nullopt);
    DjayItemBuilder otherTag;
    otherTag.text("title", "T").real("startTime", start);
    EXPECT_EQ(decode(otherTag), std::nullopt);
}

TEST(DjayHistoryItemTests, ReadsTheDurationAsFloatOrDouble) {
    EXPECT_EQ(decode(minimal().single("duration", 215.5f))->duration, 215.5);
    EXPECT_EQ(decode(minimal().real("duration", 215.5))->duration, 215.5);
    EXPECT_EQ(decode(minimal().integer("duration", 215))->duration, std::nullopt);
    EXPECT_EQ(decode(minimal())->duration, std::nullopt);
    EXPECT_EQ(
        decode(minimal().real("duration", std::numeric_limits<double>::quiet_NaN()))->duration,
        std::nullopt);
}

TEST(DjayHistoryItemTests, ReadsTheDeckNumber) {
    EXPECT_EQ(decode(minimal().integer("deckNumber", 1))->deck, 1);
    EXPECT_EQ(decode(minimal().integer("deckNumber", 4))->deck, 4);
    EXPECT_EQ(decode(minimal().integer("deckNumber", 0))->deck, 0);
    EXPECT_EQ(decode(minimal().real("deckNumber", 3))->deck, std::nullopt);
    EXPECT_EQ(decode(minimal())->deck, std::nullopt);
}

TEST(DjayHistoryItemTests, TextsAreUtf8WithBadBytesReplaced) {
    auto item = minimal();
    item.text("artist", "Beyonc\xC3\xA9 \xFF").text("uuid", "");
    const auto decoded = decode(item);
    EXPECT_EQ(decoded->artist, "Beyoncé \uFFFD");
    EXPECT_EQ(decoded->id, "");
}

TEST(DjayHistoryItemTests, AStartThatIsNoMomentIsNoItem) {
    for (const double bad :
         {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        DjayItemBuilder item;
        item.text("title", "T").date("startTime", bad);
        EXPECT_EQ(decode(item), std::nullopt);
    }
}

TEST(DjayHistoryItemTests, CutOrScrambledItemsNeverReadOutOfBounds) {
    const std::string whole = DjayItemBuilder::song("Title", "Artist", start, 200.0f).data();
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        // Each cut must decode to something or nothing; the sanitizers watch the reads.
        const auto decoded = DjayHistoryItem::decode(whole.substr(0, length));
        if (decoded) {
            EXPECT_EQ(decoded->title, "Title");
        }
    }
    std::mt19937 random(20261208);
    for (int round = 0; round < 2000; ++round) {
        std::string scrambled = whole;
        for (int flips = 0; flips < 6; ++flips) {
            scrambled[random() % scrambled.size()] =
                static_cast<char>(random() % 4 == 0 ? 0x08 : random());
        }
        scrambled.replace(0, 4, "TSAF");
        (void)DjayHistoryItem::decode(scrambled.substr(0, random() % scrambled.size() + 1));
    }
}

} // namespace
} // namespace bridge
