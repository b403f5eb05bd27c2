#include "PlayQueue/QueueFile.hpp"
#include "QueueTesting.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

TEST(QueueFileTests, WritesTheExactForm) {
    Entry first{.event = PlayEvent{.id = "A1",
                                   .playedAt = instantFromReferenceSeconds(786'297'600.25),
                                   .title = "AC/DC Medley",
                                   .artist = "Los \"Tigres\"",
                                   .bpm = 128,
                                   .key = "4A",
                                   .filePath = "https://x.test/a/b",
                                   .durationMs = 245'000},
                .gigId = 42,
                .sent = true,
                .hidden = true,
                .refusals = 2,
                .retryAt = instantFromReferenceSeconds(786'297'660.1),
                .refusal = "Too long / no"};
    Entry second{.event = PlayEvent{.id = "B2",
                                    .playedAt = instantFromReferenceSeconds(5),
                                    .title = "Café\n",
                                    .artist = "Ünknown"}};
    EXPECT_EQ(QueueFile::encode({first, second}),
              R"([{"event":{"artist":"Los \"Tigres\"","bpm":128,"durationMs":245000,)"
              R"("filePath":"https:\/\/x.test\/a\/b","id":"A1","key":"4A","playedAt":786297600.25,)"
              R"("title":"AC\/DC Medley"},"gigId":42,"hidden":true,"hiddenOnServer":false,)"
              R"("notTaken":false,"refusal":"Too long \/ no","refusals":2,"removed":false,)"
              R"("removedOnServer":false,"retryAt":786297660.1,"sent":true},)"
              R"({"event":{"artist":"Ünknown","id":"B2","playedAt":5,"title":"Café\n"},)"
              R"("hidden":false,"hiddenOnServer":false,"notTaken":false,"refusals":0,)"
              R"("removed":false,"removedOnServer":false,"sent":false}])");
    EXPECT_EQ(QueueFile::encode({}), "[]");
}

TEST(QueueFileTests, RoundTripsEveryField) {
    Entry full{.event = PlayEvent{.id = "A",
                                  .playedAt = instantFromReferenceSeconds(786'297'600.123456789),
                                  .title = "T/T",
                                  .artist = "R",
                                  .bpm = 0.1,
                                  .key = "F♯m",
                                  .filePath = "sha256:00",
                                  .durationMs = 1},
               .gigId = 9'007'199'254'740'993, // beyond a double's exact integers
               .sent = true,
               .hidden = true,
               .hiddenOnServer = true,
               .removed = true,
               .removedOnServer = true,
               .notTaken = true,
               .refusals = 5,
               .retryAt = instantFromReferenceSeconds(-0.5),
               .refusal = "no"};
    const auto entries = std::vector{full, testing::entry("B", std::nullopt)};
    const auto bytes = QueueFile::encode(entries);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(QueueFile::decode(*bytes), entries);
    EXPECT_EQ(QueueFile::encode(*QueueFile::decode(*bytes)), bytes);
}

TEST(QueueFileTests, TemposFromSinglePrecisionReadBackExactly) {
    // DJ programs often report a tempo as a float; its double has up to 17 digits.
    int mismatches = 0;
    for (int step = 0; step < 2000; ++step) {
        auto e = testing::entry("A");
        e.event.bpm = static_cast<double>(60.0F + static_cast<float>(step) * 0.0703F);
        const auto bytes = QueueFile::encode({e});
        const auto decoded = QueueFile::decode(*bytes);
        ASSERT_TRUE(decoded);
        if (decoded->front().event.bpm != e.event.bpm || QueueFile::encode(*decoded) != bytes) {
            ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(QueueFileTests, ReadsAnyLayoutOfTheSameStructure) {
    const auto entries = QueueFile::decode(R"(
        [ { "refusals": 1.0, "unknown": {"x": [1, 2]}, "gigId": null, "retryAt": 3,
            "event": { "title": "A\/B", "artist": "\u00d1", "id": "E", "playedAt": -1e2 } } ]
    )");
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ(entries->front().refusals, 1);
    EXPECT_EQ(entries->front().gigId, std::nullopt);
    EXPECT_EQ(entries->front().retryAt, instantFromReferenceSeconds(3));
    EXPECT_EQ(entries->front().event.title, "A/B");
    EXPECT_EQ(entries->front().event.artist, "Ñ");
    EXPECT_EQ(entries->front().event.playedAt, instantFromReferenceSeconds(-100));
}

TEST(QueueFileTests, RejectsWhatIsNotAQueue) {
    for (const char* bad :
         {"", "null", "{}", "[", "[null]", R"([{"gigId":1}])", R"([{"event":{}}])",
          R"([{"event":{"id":"A","playedAt":"now","title":"T","artist":"R"}}])",
          R"([{"event":{"id":"A","playedAt":1,"title":"T","artist":"R"},"sent":"yes"}])", "[]x",
          "\xff"}) {
        EXPECT_FALSE(QueueFile::decode(bad)) << bad;
    }
    EXPECT_EQ(QueueFile::decode("[]"), std::vector<Entry>{});
}

TEST(QueueFileTests, NumbersJsonCannotHoldFailTheEncoding) {
    auto e = testing::entry("A");
    e.event.bpm = std::numeric_limits<double>::infinity();
    EXPECT_EQ(QueueFile::encode({e}), std::nullopt);
}

} // namespace
} // namespace bridge
